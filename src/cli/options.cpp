#include "cli/options.h"

#include <algorithm>
#include <limits>
#include <string_view>

#include "cli/ranks.h"
#include "polychain/model.h"
#include "polychain/paramreader.h"

namespace polychain::cli {

namespace {

// The most threads a run may use.
constexpr std::int64_t kMaxThreads = 1024;

bool isBlank(const std::string& text) {
  return text.find_first_not_of(" \t\n\v\f\r") == std::string::npos;
}

// What an option of `command` takes, as a refusal of its empty value says it.
std::string whatItTakes(std::string_view command, std::string_view option) {
  if (command == "sweep" && option == "--steps") {
    return "step counts separated by commas, such as 100,200,400";
  }
  constexpr std::pair<std::string_view, std::string_view> kWhat[] = {
      {"--model", "a model, such as meander"},
      {"--export", "a file name, such as run1"},
      {"--csv", "a file name, such as sweep.csv"},
      {"--plot", "a file name, such as sweep.svg"},
      {"--correction-exponent", "a positive decimal number, such as 0.528"},
      {"--bond-length", "a number above 0, such as 0.97"},
      {"--box", "a whole number of lattice units, such as 200"},
      {"--format", "a format, such as gsd"},
  };
  for (const auto& [name, what] : kWhat) {
    if (name == option) return std::string(what);
  }
  // A model's setting by its kind.
  for (const ModelInfo* model : modelTable()) {
    for (const SettingInfo& setting : model->settings) {
      if (setting.option != option) continue;
      if (setting.kind == SettingKind::Real) return "a number, such as 0.5";
      if (setting.kind != SettingKind::Whole) return settingRange(setting);
    }
  }
  return "a whole number";
}

}  // namespace

void addModelOptions(CLI::App& command, ModelOptions& o, const std::vector<std::string>& own) {
  command.add_option("--model", o.model, std::string(modelKeyList()))->default_str("meander");
  command.add_option("--iterations,-I", o.iterations, "Chains to grow (for a sweep: for each N)")
      ->required();
  // Each option once, in the table's order, with the help of every model that reads it.
  std::vector<std::pair<std::string, std::string>> helps;
  for (const ModelInfo* model : modelTable()) {
    for (const SettingInfo& setting : model->settings) {
      const std::string option(setting.option);
      if (std::find(own.begin(), own.end(), option) != own.end()) continue;
      const auto known = std::find_if(helps.begin(), helps.end(),
                                      [&option](const auto& h) { return h.first == option; });
      if (known == helps.end()) {
        helps.emplace_back(option, setting.help);
      } else {
        known->second += "; " + std::string(setting.help);
      }
    }
  }
  for (const auto& [option, help] : helps) command.add_option(option, o.settings[option], help);
  command.add_option("--seed", o.seed, "64-bit seed (default: from the time of day)");
  command.add_option("--threads", o.threads, "Worker threads, 1 to 1024 (default: all cores)");
  command.add_option("--max-trials", o.maxTrials,
                     "Stop when a chain passes this many trials (default 0: no cap)");
  command.add_option("--restart-trapped", o.restartTrapped,
                     "Grow a self-avoiding or short-range chain again from the origin after "
                     "this many trials without growing longer, or a self-avoiding chain without "
                     "a zone once it is closed in for good (0: never; default " +
                         std::to_string(kDefaultRestartTrapped) + ")");
}

void refuseEmptyValues(const CLI::App& command) {
  for (const CLI::Option* option : command.get_options()) {
    if (option->count() == 0 || option->get_type_size() == 0) continue;  // not given, or a flag
    for (const std::string& value : option->results()) {
      if (!isBlank(value)) continue;
      const std::string name = option->get_name();
      throw InputError(name + " is empty: enter " + whatItTakes(command.get_name(), name) + ".");
    }
  }
}

namespace {

// The options given that `model` does not read, said ignored in one line: the window too
// leaves the fields of the models not chosen unread.
void noteUnreadOptions(const ModelOptions& o, const ModelInfo& model) {
  std::vector<std::string> unread;
  std::string own;
  for (const SettingInfo& setting : model.settings) {
    own += (own.empty() ? "" : ", ") + std::string(setting.option);
  }
  for (const auto& [option, text] : o.settings) {
    const bool read = std::any_of(model.settings.begin(), model.settings.end(),
                                  [&option](const SettingInfo& s) { return s.option == option; });
    if (!text.empty() && !read) unread.push_back(option);
  }
  if (!o.maxTrials.empty() && model.runner != "grower") unread.emplace_back("--max-trials");
  if (!o.restartTrapped.empty() && !model.countsTrials) unread.emplace_back("--restart-trapped");
  if (unread.empty()) return;
  std::string list;
  for (std::size_t i = 0; i < unread.size(); ++i) {
    list += (i == 0 ? "" : i + 1 == unread.size() ? " and " : ", ") + unread[i];
  }
  printError("note: the " + std::string(model.key) + " model does not read " + list +
             (unread.size() == 1 ? ", which is" : ", which are") +
             " ignored (its own options: " + (own.empty() ? "none" : own) + ").");
}

}  // namespace

void readModelOptions(const ModelOptions& o, RunParams& p) {
  const ModelInfo& model = readModelKey(o.model, "--model");
  noteUnreadOptions(o, model);
  p.iterations = static_cast<std::int32_t>(
      readWholeNumber(o.iterations, "--iterations", 1, std::numeric_limits<std::int32_t>::max()));
  p.model = model.defaults();
  for (const SettingInfo& setting : model.settings) {
    const auto text = o.settings.find(setting.option);
    if (text == o.settings.end() || text->second.empty()) continue;
    setting.set(p.model, readSetting(setting, text->second, setting.option));
  }
  p.seed = readSeed(o.seed, "--seed");
  if (!o.threads.empty()) {
    p.threads = static_cast<int>(readWholeNumber(o.threads, "--threads", 1, kMaxThreads));
  }
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  if (!o.maxTrials.empty()) p.maxTrials = readWholeNumber(o.maxTrials, "--max-trials", 0, kMax);
  if (!o.restartTrapped.empty()) {
    p.restartTrapped = readWholeNumber(o.restartTrapped, "--restart-trapped", 0, kMax);
  }
}

}  // namespace polychain::cli
