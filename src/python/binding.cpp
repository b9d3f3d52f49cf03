// polychain._core: the core as a Python module. The pure-Python package around it reads and
// checks the arguments and shapes the results; this file turns them into a run, runs it with
// the GIL released, and hands the numbers back (big arrays as the core's own buffers).
//
// The core runs on a thread of its own while the calling thread waits with the GIL released,
// waking every kPollInterval to take the GIL briefly: it checks for signals there (a Ctrl-C
// or a notebook's interrupt raises KeyboardInterrupt in the main thread), calls the progress
// callable and reports a trapped chain. An exception from any of them cancels the run, which
// stops within a fraction of a second, and is raised once the core has returned.
#include <pybind11/functional.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <limits>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "polychain/commonstats.h"
#include "polychain/ensemble.h"
#include "polychain/fileset.h"
#include "polychain/formats.h"
#include "polychain/json.h"
#include "polychain/params.h"
#include "polychain/placement.h"
#include "polychain/presentation.h"
#include "polychain/resources.h"
#include "polychain/run.h"
#include "polychain/sample.h"
#include "polychain/sweep.h"
#include "polychain/texts.h"
#include "python/arrays.h"

namespace py = pybind11;

namespace polychain::python {

namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(20);
constexpr auto kProgressInterval = std::chrono::milliseconds(50);

// The JSON tree as Python objects: dicts, lists, str, int, float, bool and None.
py::object toPython(const nlohmann::json& j) {
  switch (j.type()) {
    case nlohmann::json::value_t::null:
    case nlohmann::json::value_t::discarded:
      return py::none();
    case nlohmann::json::value_t::boolean:
      return py::bool_(j.get<bool>());
    case nlohmann::json::value_t::number_integer:
      return py::int_(j.get<std::int64_t>());
    case nlohmann::json::value_t::number_unsigned:
      return py::int_(j.get<std::uint64_t>());
    case nlohmann::json::value_t::number_float:
      return py::float_(j.get<double>());
    case nlohmann::json::value_t::string:
      return py::str(j.get_ref<const std::string&>());
    case nlohmann::json::value_t::array: {
      py::list list;
      for (const nlohmann::json& item : j) list.append(toPython(item));
      return list;
    }
    case nlohmann::json::value_t::object: {
      py::dict dict;
      for (const auto& [key, value] : j.items()) dict[py::str(key)] = toPython(value);
      return dict;
    }
    case nlohmann::json::value_t::binary:
      break;
  }
  throw std::logic_error("a JSON value of a kind the program never writes");
}

const ModelInfo& modelNamed(const std::string& key) {
  if (const ModelInfo* model = findModel(key)) return *model;
  throw py::value_error("model must be " + std::string(modelKeyList()) + "; \"" + key +
                        "\" is not one.");
}

// What the pure-Python layer passes, already read and range-checked but for the model's
// settings, which are checked here by the core's one rule.
struct Settings {
  std::string model;
  std::int32_t iterations = 0;
  bool gofr = false;
  std::optional<std::uint64_t> seed;
  int threads = 0;
  std::int64_t maxTrials = 0;
  std::int64_t restartTrapped = kDefaultRestartTrapped;
  bool perChain = false;
  // The stack level of a warning, counted from the package's frame that called the core: the
  // caller's line outside the package.
  int warnLevel = 1;
  // The model settings given, by key (None: the model's default rule).
  std::map<std::string, py::object, std::less<>> modelSettings;
};

// How Python names a setting in messages: "avoid (--avoid)".
std::string pythonField(const SettingInfo& setting) {
  return std::string(setting.key) + " (" + std::string(setting.option) + ")";
}

// A Python value as a setting of its kind: an int for a whole number (the package rounds
// floats as the command does), an int or a float for a real number, a str among the choices,
// a bool for a flag; then the core's check. TypeError or ValueError naming the setting.
SettingValue settingValue(const SettingInfo& setting, const py::handle& value) {
  const std::string field = pythonField(setting);
  const bool isBool = py::isinstance<py::bool_>(value);
  SettingValue out;
  switch (setting.kind) {
    case SettingKind::Whole:
      if (isBool || !py::isinstance<py::int_>(value)) {
        throw py::type_error(field + " must be a whole number, such as " +
                             std::to_string(setting.least) + ".");
      }
      try {
        out = value.cast<std::int64_t>();
      } catch (const py::cast_error&) {
        throw py::value_error(field + " is out of range: it accepts " + settingRange(setting) +
                              ".");
      }
      break;
    case SettingKind::Real:
      if (isBool || !(py::isinstance<py::int_>(value) || py::isinstance<py::float_>(value))) {
        throw py::type_error(field + " must be a number, such as 0.5.");
      }
      out = value.cast<double>() + 0.0;  // -0.0 is 0, as the command reads "-0"
      break;
    case SettingKind::Choice: {
      if (!py::isinstance<py::str>(value)) {
        throw py::type_error(field + " must be one of " + settingRange(setting) + ".");
      }
      const std::string word = value.cast<std::string>();
      std::int64_t index = 0;
      while (index < std::ssize(setting.choices) &&
             setting.choices[static_cast<std::size_t>(index)] != word) {
        ++index;
      }
      if (index == std::ssize(setting.choices)) {
        throw py::value_error(field + " must be " + settingRange(setting) + "; \"" + word +
                              "\" is not one.");
      }
      out = index;
      break;
    }
    case SettingKind::Flag:
      if (!isBool) throw py::type_error(field + " must be True or False.");
      out = value.cast<bool>();
      break;
  }
  try {
    checkSetting(setting, out, field);
  } catch (const InputError& e) {
    throw py::value_error(e.what());
  }
  return out;
}

// A setting's value as a Python object: an int, a float, the choice's word or a bool.
py::object settingObject(const SettingInfo& setting, const std::optional<SettingValue>& value) {
  if (!value) return py::none();
  switch (setting.kind) {
    case SettingKind::Whole:
      return py::int_(std::get<std::int64_t>(*value));
    case SettingKind::Real:
      return py::float_(std::get<double>(*value));
    case SettingKind::Choice:
      return py::str(settingText(setting, *value));
    case SettingKind::Flag:
      return py::bool_(std::get<bool>(*value));
  }
  return py::none();
}

RunParams toParams(const Settings& s, std::int32_t steps) {
  RunParams p;
  const ModelInfo& model = modelNamed(s.model);
  p.model = model.defaults();
  for (const SettingInfo& setting : model.settings) {
    const auto given = s.modelSettings.find(setting.key);
    if (given != s.modelSettings.end() && !given->second.is_none()) {
      setting.set(p.model, settingValue(setting, given->second));
    }
  }
  p.steps = steps;
  p.iterations = s.iterations;
  p.calcParCF = s.gofr;
  p.seed = s.seed;
  p.threads = s.threads;
  p.maxTrials = s.maxTrials;
  p.restartTrapped = s.restartTrapped;
  p.perChain = s.perChain;
  return p;
}

[[noreturn]] void raiseMemoryError(const std::string& message) {
  PyErr_SetString(PyExc_MemoryError, message.c_str());
  throw py::error_already_set();
}

// The core's InputError as a ValueError: its fields named "density (--density)", the key
// of the field it is about as `field` (None: about none) and its reason with each field as
// {key} as `reason`, for the package to name them by the keywords of the call.
[[noreturn]] void raiseInputError(const InputError& e) {
  const std::string text = e.worded(
      [](std::string_view key) { return std::string(key) + " (" + optionFieldName(key) + ")"; });
  py::object error = py::reinterpret_borrow<py::object>(PyExc_ValueError)(text);
  error.attr("field") = e.field().empty() ? py::object(py::none()) : py::str(e.field());
  error.attr("reason") = e.reason();
  PyErr_SetObject(PyExc_ValueError, error.ptr());
  throw py::error_already_set();
}

// Runs the core's check (checkRun, checkSweep, checkSample) and returns what it made: a bad
// parameter raises ValueError (raiseInputError), a run too big for the memory MemoryError
// with the core's message.
template <class Check>
auto check(Check&& check) -> decltype(check()) {
  try {
    return check();
  } catch (const MemoryRefusal& e) {
    raiseMemoryError(e.what());
  } catch (const InputError& e) {
    raiseInputError(e);
  }
}

// Hears the core on its threads; only atomics, read by the waiting Python thread.
class Observer final : public SweepObserver {
 public:
  void progress(const RunProgress& p) override { m_share.store(p.chains); }
  void chainSeemsTrapped(std::int64_t chain, std::int64_t trials) override {
    m_trappedTrials.store(trials);
    m_trappedChain.store(chain);
  }
  bool cancelRequested() override { return m_cancel.load(std::memory_order_relaxed); }

  void cancel() { m_cancel.store(true); }
  float share() const { return m_share.load(); }  // percent done
  // A chain that seems trapped, once: its index, or -1.
  std::int64_t takeTrapped(std::int64_t& trials) {
    trials = m_trappedTrials.load();
    return m_trappedChain.exchange(-1);
  }

 private:
  std::atomic<bool> m_cancel{false};
  std::atomic<float> m_share{0.0F};
  std::atomic<std::int64_t> m_trappedChain{-1};
  std::atomic<std::int64_t> m_trappedTrials{0};
};

// Reports to Python from the waiting thread, with the GIL held: progress(done, total) as the
// share done of `total`, when it changed and at most every kProgressInterval, and a warning
// for a trapped chain.
class Reporter {
 public:
  Reporter(Observer& observer, py::object progress, std::int64_t total, int warnLevel = 1)
      : m_observer(observer),
        m_progress(std::move(progress)),
        m_total(total),
        m_warnLevel(warnLevel) {}

  void poll() {
    warnTrapped();
    const auto now = std::chrono::steady_clock::now();
    if (m_progress.is_none() || now - m_last < kProgressInterval) return;
    const auto done = static_cast<std::int64_t>(static_cast<double>(m_observer.share()) / 100.0 *
                                                static_cast<double>(m_total));
    if (done == m_done) return;
    m_last = now;
    m_done = done;
    m_progress(done, m_total);
  }

  // A RuntimeWarning for a chain that seems trapped, once, at the caller's line.
  void warnTrapped() {
    std::int64_t trials = 0;
    const std::int64_t chain = m_observer.takeTrapped(trials);
    if (chain < 0) return;
    const std::string text = "chain index " + std::to_string(chain) +
                             " seems trapped: " + std::to_string(trials) +
                             " trials without growing longer; interrupt the run to cancel it, "
                             "or set max_trials to cap the trials.";
    if (PyErr_WarnEx(PyExc_RuntimeWarning, text.c_str(), m_warnLevel) != 0) {
      throw py::error_already_set();
    }
  }

  // The last report of a run that finished.
  void finish() {
    if (!m_progress.is_none() && m_done != m_total) m_progress(m_total, m_total);
  }

 private:
  Observer& m_observer;
  py::object m_progress;
  std::int64_t m_total;
  int m_warnLevel;
  std::int64_t m_done = -1;
  std::chrono::steady_clock::time_point m_last{};
};

// Runs `work` on a thread of its own while this one waits without the GIL, polling signals
// and `reporter` with the GIL every kPollInterval, and once more for a trapped chain when it
// is done. A Python exception there cancels the work and is raised once it has stopped; an
// exception of the work is rethrown here.
template <class Work>
void runReleased(Observer& observer, Reporter& reporter, Work&& work) {
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  std::exception_ptr failure;
  std::optional<py::error_already_set> pending;
  {
    const py::gil_scoped_release release;
    std::thread worker([&] {
      try {
        work();
      } catch (...) {
        failure = std::current_exception();
      }
      const std::lock_guard lock(mutex);
      done = true;
      finished.notify_all();
    });
    std::unique_lock lock(mutex);
    while (!finished.wait_for(lock, kPollInterval, [&] { return done; })) {
      lock.unlock();
      {
        const py::gil_scoped_acquire gil;
        if (!pending) {
          try {
            if (PyErr_CheckSignals() != 0) throw py::error_already_set();
            reporter.poll();
          } catch (py::error_already_set& e) {
            pending.emplace(std::move(e));
            observer.cancel();
          }
        }
      }
      lock.lock();
    }
    lock.unlock();
    worker.join();
  }
  if (pending) throw std::move(*pending);
  if (failure) std::rethrow_exception(failure);
  reporter.warnTrapped();  // a chain trapped since the last poll
}

// An estimate as (value, standard error), NaN where there is none.
py::tuple estimate(const Estimate& e) { return py::make_tuple(e.value, e.standardError); }

// The six results by name, each as (value, standard error): the JSON holds only their texts.
py::dict valuesDict(const ResultValues& v) {
  py::dict d;
  for (const CommonResult& r : commonResults()) {
    d[py::str(std::string(r.measure.name))] = estimate(v.*r.value);
  }
  return d;
}

// Each chain's values as arrays over the core's buffers: R (int32, (C, 3)), Rg2 and R2 (float64,
// (C,)); None when the run kept none.
py::object perChainDict(ChainValues&& values) {
  if (values.ends.empty()) return py::none();
  std::vector<double> squaredEnds;
  squaredEnds.reserve(values.ends.size());
  for (const Point& e : values.ends) {
    squaredEnds.push_back(static_cast<double>(std::int64_t{e.x} * e.x + std::int64_t{e.y} * e.y +
                                              std::int64_t{e.z} * e.z));
  }
  py::dict d;
  d["R"] = sitesArray(std::move(values.ends));
  d["R2"] = valuesArray(std::move(squaredEnds));
  d["Rg2"] = valuesArray(std::move(values.squaredGyration));
  return d;
}

// The sums of the per-chain counts, by the counts' keys in the JSON's "extended" (None for a
// model that counts no trials): the JSON holds their means and largest values only.
py::dict totalsDict(const ExtendedStats& s) {
  py::dict d;
  const auto total = [](const std::optional<CountSummary>& c) {
    return c ? py::object(py::int_(c->total)) : py::none();
  };
  d["trials"] = total(s.trials);
  d["discarded"] = total(s.discarded);
  d["backups"] = total(s.backups);
  return d;
}

// How a run or sweep that did not finish ends: KeyboardInterrupt and other Python errors
// were raised already; a failed allocation raises MemoryError; a chain past the trial cap
// comes back as {"stopped": message, "chain": index, "seed": seed} for the package to raise.
py::dict stopped(RunStatus status, const std::string& message, std::int64_t chain,
                 std::uint64_t seed) {
  if (status == RunStatus::OutOfMemory) raiseMemoryError(message);
  if (status == RunStatus::Cancelled) throw std::logic_error("a run cancelled by nobody");
  py::dict d;
  d["stopped"] = message;
  d["chain"] = chain;
  d["seed"] = seed;
  return d;
}

py::dict run(const Settings& settings, std::int32_t steps, const py::object& progress) {
  const RunParams params = toParams(settings, steps);
  const CheckedRun checked = check([&] { return checkRun(params); });
  Observer observer;
  Reporter reporter(observer, progress, params.iterations, settings.warnLevel);
  RunResult result;
  runReleased(observer, reporter, [&] { result = runSimulation(checked, observer); });
  if (result.status != RunStatus::Finished) {
    return stopped(result.status, runStopMessage(result.status, params), result.trialLimitChain,
                   result.seed);
  }
  reporter.finish();
  // The run once: the command's JSON, and beside it only what the JSON leaves out.
  py::dict d;
  d["json"] = toPython(runJsonObject(params, result));
  d["values"] = valuesDict(result.values);
  d["totals"] = totalsDict(result.extended);
  d["chain"] = sitesArray(std::move(result.lastSites));
  d["per_chain"] = perChainDict(std::move(result.perChain));
  return d;
}

SweepParams sweepParams(const Settings& settings, const std::vector<std::int32_t>& steps) {
  SweepParams params;
  params.run = toParams(settings, 1);
  params.steps = steps;
  params.seed = params.run.seed;
  params.run.seed.reset();
  return params;
}

// Checks a sweep as sweep() would, without running it: a sweep over a list of values checks
// each value before the first runs.
void checkSweepOnly(const Settings& settings, const std::vector<std::int32_t>& steps) {
  const SweepParams params = sweepParams(settings, steps);
  static_cast<void>(check([&] { return checkSweep(params, "{steps}"); }));
}

py::dict sweep(const Settings& settings, const std::vector<std::int32_t>& steps,
               const py::object& progress) {
  const SweepParams params = sweepParams(settings, steps);
  const CheckedSweep checked = check([&] { return checkSweep(params, "{steps}"); });
  Observer observer;
  std::int64_t total = 0;
  for (const std::int32_t n : steps) total += std::int64_t{n} * params.run.iterations;
  Reporter reporter(observer, progress, total, settings.warnLevel);
  SweepResult result;
  std::int64_t trialLimitChain = -1;
  const RunFunction runOne = [&trialLimitChain](const CheckedRun& p, RunObserver& o) {
    RunResult r = runSimulation(p, o);
    trialLimitChain = r.trialLimitChain;
    return r;
  };
  runReleased(observer, reporter, [&] { result = runSweep(checked, observer, runOne); });
  if (result.status != RunStatus::Finished) {
    return stopped(result.status, sweepStopMessage(params, result), trialLimitChain, result.seed);
  }
  reporter.finish();
  // The sweep once: the command's JSON, and beside it only what the JSON leaves out.
  py::dict d;
  d["json"] = toPython(sweepJsonObject(params, result));
  py::list totals;
  for (const SweepPoint& point : result.points) totals.append(totalsDict(point.stats));
  d["totals"] = totals;
  const SweepCurve curve = sweepCurve(result);
  const auto estimates = [](const std::vector<Estimate>& values) {
    std::vector<double> v, se;
    for (const Estimate& e : values) {
      v.push_back(e.value);
      se.push_back(e.standardError);
    }
    return py::make_tuple(v, se);
  };
  d["R2_per_N"] = estimates(curve.perStep);
  d["nu_eff"] = estimates(curve.effectiveExponent);
  return d;
}

Settings settingsOf(const py::kwargs& kwargs) {
  Settings s;
  s.model = kwargs["model"].cast<std::string>();
  s.iterations = kwargs["iterations"].cast<std::int32_t>();
  if (kwargs.contains("gofr")) s.gofr = kwargs["gofr"].cast<bool>();
  if (kwargs.contains("per_chain")) s.perChain = kwargs["per_chain"].cast<bool>();
  s.seed = kwargs["seed"].cast<std::optional<std::uint64_t>>();
  s.threads = kwargs["threads"].cast<int>();
  s.maxTrials = kwargs["max_trials"].cast<std::int64_t>();
  s.restartTrapped = kwargs["restart_trapped"].cast<std::int64_t>();
  if (kwargs.contains("warn_level")) s.warnLevel = kwargs["warn_level"].cast<int>();
  for (const SettingInfo& setting : modelNamed(s.model).settings) {
    const std::string key(setting.key);
    if (kwargs.contains(key)) s.modelSettings[key] = kwargs[key.c_str()];
  }
  return s;
}

// `count` chains of a model: their sites end to end as one int32 array (sites, 3), the offsets
// of the chains (int64, count + 1), and whether every chain of the model holds N + 1 sites; the
// memory checked before anything runs.
py::object sample(const Settings& settings, std::int32_t steps, const py::object& progress) {
  const RunParams params = toParams(settings, steps);
  const CheckedRun checked = check([&] { return checkSample(params, 0); });
  Observer observer;
  Reporter reporter(observer, progress, params.iterations, settings.warnLevel);
  ChainSample result;
  runReleased(observer, reporter, [&] { result = sampleChains(checked, observer); });
  if (result.status != RunStatus::Finished) {
    return stopped(result.status, runStopMessage(result.status, params), result.trialLimitChain,
                   result.seed);
  }
  reporter.finish();
  py::dict d;
  d["seed"] = result.seed;
  if (result.box) {
    // A sample that sits in a box of its own (a melt's): the box its chains keep when placed.
    py::dict box;
    box["side"] = result.box->side;
    box["periodic"] =
        py::make_tuple(result.box->periodic[0], result.box->periodic[1], result.box->periodic[2]);
    d["box"] = box;
  }
  // Chains of N + 1 sites each; a model that counts the origin among its N sites loses one
  // to each back-up, so its chains may differ in length.
  d["uniform"] = modelOf(params.model).sitesBeyondSteps == 1;
  d["count"] = result.chains;
  d["sites"] = sitesArray(std::move(result.sites));
  d["starts"] = ownedArray<std::int64_t>(std::move(result.starts),
                                         {static_cast<py::ssize_t>(result.chains) + 1});
  return d;
}

using SitesIn = py::array_t<std::int32_t, py::array::c_style | py::array::forcecast>;
using StartsIn = py::array_t<std::int64_t, py::array::c_style | py::array::forcecast>;

// Sites (S, 3) as points.
std::vector<Point> pointsOf(const SitesIn& sites, const char* what) {
  if (sites.ndim() != 2 || sites.shape(1) != 3) {
    throw py::value_error(std::string(what) + " must have the shape (sites, 3).");
  }
  std::vector<Point> points(static_cast<std::size_t>(sites.shape(0)));
  const auto view = sites.unchecked<2>();
  for (py::ssize_t i = 0; i < sites.shape(0); ++i) {
    points[static_cast<std::size_t>(i)] = {view(i, 0), view(i, 1), view(i, 2)};
  }
  return points;
}

// The chains of `sites`, chain c at [starts[c], starts[c + 1]): starts from 0 to the sites'
// count, every chain holding at least one site.
ChainSample chainsOf(const SitesIn& sites, const StartsIn& starts) {
  ChainSample sample;
  sample.sites = pointsOf(sites, "sites");
  if (starts.ndim() != 1 || starts.shape(0) < 2) {
    throw py::value_error("starts must hold the offset of every chain and the count of sites.");
  }
  sample.starts.assign(starts.data(), starts.data() + starts.shape(0));
  sample.chains = std::ssize(sample.starts) - 1;
  if (sample.starts.front() != 0 || sample.starts.back() != std::ssize(sample.sites)) {
    throw py::value_error("starts must run from 0 to the count of sites.");
  }
  for (std::int64_t c = 0; c < sample.chains; ++c) {
    const auto at = static_cast<std::size_t>(c);
    if (sample.starts[at + 1] <= sample.starts[at]) {
      throw py::value_error("every chain must hold at least one site; chain " + std::to_string(c) +
                            " holds none.");
    }
  }
  return sample;
}

// Places chains as `polychain sample` does (placeChains), the GIL released and an interrupt
// heard between chains.
py::dict place(const SitesIn& sites, const StartsIn& starts, std::optional<std::int64_t> box,
               std::optional<std::uint64_t> seed, bool selfAvoiding,
               std::optional<std::array<bool, 3>> ownBox) {
  ChainSample sample = chainsOf(sites, starts);
  if (ownBox) {
    // Chains that sit in a box of their own, of side `box` and these periodic axes, keep
    // their places.
    if (!box || *box < 1 || *box > kMaxBoxSide) {
      throw py::value_error("a box of its own needs its side, 1 to " + std::to_string(kMaxBoxSide) +
                            ".");
    }
    sample.box = ChainBox{.side = static_cast<std::int32_t>(*box), .periodic = *ownBox};
  }
  PlacementParams params;
  params.box = box;
  params.seed = seed.value_or(clockSeed());
  params.selfAvoiding = selfAvoiding;
  Observer observer;
  Reporter reporter(observer, py::none(), 0);
  std::optional<Ensemble> placed;
  try {
    runReleased(observer, reporter, [&] {
      placed = placeChains(sample, params, [&observer] { return !observer.cancelRequested(); });
    });
  } catch (const InputError& e) {
    throw py::value_error(e.what());
  }
  py::dict d;
  d["sites"] = sitesArray(std::move(placed->sites));
  d["images"] = sitesArray(std::move(placed->images));
  d["box"] = placed->box;
  d["seed"] = params.seed;
  return d;
}

// "cannot write PATH: WHY", the OSError of a file that could not be written.
std::string fileFailure(const std::string& path, const std::string& why) {
  std::string text = "cannot write ";
  text.append(path).append(": ").append(why);
  return text;
}

// Writes the ensemble to `name` (the bytes of a file name) + each format's extension with the
// format table's writers: every file is staged whole before any replaces its target, and none
// does when one cannot be written or an interrupt comes first. Returns the paths written.
py::list writeFiles(const std::string& name, const SitesIn& sites, const SitesIn& images,
                    const StartsIn& starts, std::int64_t box, const std::array<bool, 3>& periodic,
                    const std::vector<std::string>& keys, double bondLength) {
  if (name.find('\0') != std::string::npos) {
    throw py::value_error("name must not hold a NUL character, which no file name can hold.");
  }
  std::vector<const FormatInfo*> formats;
  for (const std::string& key : keys) {
    const FormatInfo* format = findFormat(key);
    if (format == nullptr || format->writeEnsemble == nullptr) {
      throw py::value_error("formats: \"" + key + "\" is not a format of placed chains; they are " +
                            ensembleFormatKeys() + ".");
    }
    if (std::find(formats.begin(), formats.end(), format) == formats.end()) {
      formats.push_back(format);
    }
  }
  ChainSample sample = chainsOf(sites, starts);
  Ensemble ensemble;
  ensemble.chains = sample.chains;
  ensemble.starts = std::move(sample.starts);
  ensemble.sites = std::move(sample.sites);
  ensemble.images = pointsOf(images, "images");
  if (ensemble.images.size() != ensemble.sites.size()) {
    throw py::value_error("images must have the shape of the sites.");
  }
  ensemble.box = box;
  ensemble.periodic = periodic;
  ensemble.bondLength = bondLength;
  try {
    for (const FormatInfo* format : formats) checkFits(*format, ensemble.siteCount());
  } catch (const InputError& e) {
    throw py::value_error(e.what());
  }
  Observer observer;
  Reporter reporter(observer, py::none(), 0);
  FileSetResult result;
  try {
    runReleased(observer, reporter, [&] {
      FileSetSteps steps;
      steps.keepGoing = [&observer](double) { return !observer.cancelRequested(); };
      result = writeEnsembleFiles(name, ensemble, formats, steps);
    });
  } catch (const InputError& e) {
    throw py::value_error(e.what());
  }
  if (result.refused && !result.failed.empty()) {
    throw py::value_error(result.failed.front().second);
  }
  if (!result.failed.empty()) {
    std::vector<std::string> reasons;
    for (const auto& [path, why] : result.failed) reasons.push_back(fileFailure(path, why));
    std::string failed;
    for (const std::string& reason : reasons) {
      if (!failed.empty()) failed.push_back(' ');
      failed.append(reason);
    }
    PyErr_SetString(PyExc_OSError, failed.c_str());
    throw py::error_already_set();
  }
  py::list written;  // as bytes: a name need not be UTF-8
  for (const std::string& path : result.written) written.append(py::bytes(path));
  return written;
}

// The format table: each format's key, name, extension, whether it holds placed chains, the
// most sites it holds (None: no limit).
py::list formats() {
  py::list out;
  for (const FormatInfo& format : formatTable()) {
    py::dict f;
    f["key"] = std::string(format.key);
    f["name"] = std::string(format.name);
    f["extension"] = std::string(format.extension);
    f["ensemble"] = format.writeEnsemble != nullptr;
    f["max_sites"] = format.maxSites == std::numeric_limits<std::int64_t>::max()
                         ? py::object(py::none())
                         : py::object(py::int_(format.maxSites));
    out.append(f);
  }
  return out;
}

const char* kindName(SettingKind kind) {
  switch (kind) {
    case SettingKind::Whole:
      return "whole";
    case SettingKind::Real:
      return "real";
    case SettingKind::Choice:
      return "choice";
    case SettingKind::Flag:
      return "flag";
  }
  return "";
}

const char* kindName(MeasureKind kind) {
  switch (kind) {
    case MeasureKind::Count:
      return "count";
    case MeasureKind::Number:
      return "number";
    case MeasureKind::Estimate:
      return "estimate";
    case MeasureKind::Curve:
      return "curve";
  }
  return "";
}

// The common statistics as Python values: the names and JSON keys of the extended statistics
// (in "extended") and of the six results (in "results"), in the order of their tables.
py::dict statistics() {
  const auto entries = [](const auto& table) {
    py::list out;
    for (const auto& entry : table) {
      py::dict e;
      e["name"] = std::string(entry.measure.name);
      e["json"] = std::string(entry.shown.json);
      out.append(e);
    }
    return out;
  };
  py::dict d;
  d["extended"] = entries(commonStatistics());
  d["results"] = entries(commonResults());
  return d;
}

// The model table as Python values: each model's key, captions, what it grows, whether it is
// a grower or a sampler and counts trials; each setting's key, option, caption, kind, default
// (None: a rule of the run's), what it accepts (as the core's messages word it, and its range
// or words) and help; each measure's name, caption, unit, kind and place in the JSON.
py::list models() {
  py::list out;
  for (const ModelInfo* model : modelTable()) {
    const ModelSettings defaults = model->defaults();
    py::list settings;
    for (const SettingInfo& setting : model->settings) {
      py::dict s;
      s["key"] = std::string(setting.key);
      s["option"] = std::string(setting.option);
      s["caption"] = std::string(setting.field.empty() ? setting.key : setting.field);
      s["kind"] = kindName(setting.kind);
      s["default"] = settingObject(setting, setting.get(defaults));
      s["accepts"] = settingRange(setting);
      s["least"] = setting.kind == SettingKind::Real ? py::object(py::float_(setting.lowest))
                                                     : py::object(py::int_(setting.least));
      s["most"] = setting.kind == SettingKind::Real ? py::object(py::float_(setting.highest))
                                                    : py::object(py::int_(setting.most));
      s["least_included"] = setting.kind != SettingKind::Real || setting.lowestIncluded;
      py::list choices;
      for (const std::string_view word : setting.choices) choices.append(std::string(word));
      s["choices"] = choices;
      s["help"] = std::string(setting.help);
      s["physical"] = setting.physical;
      settings.append(s);
    }
    py::list measures;
    for (std::size_t at = 0; at < model->measures.size(); ++at) {
      const MeasureInfo& measure = model->measures[at];
      const MeasurePresentation& shown = presentationOf(*model, at);
      py::dict m;
      m["name"] = std::string(measure.name);
      m["caption"] = std::string(shown.caption);
      m["unit"] = std::string(shown.unit);
      m["kind"] = kindName(measure.kind);
      m["in_sweep"] = measure.inSweep;
      m["json"] = std::string(shown.json);
      m["indexed"] = measure.indexed;
      measures.append(m);
    }
    py::dict m;
    m["key"] = std::string(model->key);
    m["caption"] = std::string(model->caption);
    m["title"] = std::string(model->title);
    m["summary"] = std::string(model->summary);
    m["sampler"] = model->grower == nullptr;
    m["sample"] = std::string(model->sample);
    m["samples"] = std::string(model->samples);
    m["measures"] = measures;
    m["measures_key"] = std::string(model->measuresKey);
    m["sample_count"] = std::string(model->sampleCount);
    m["sample_iterations"] = model->sampleIterations;
    m["counts_trials"] = model->countsTrials;
    m["self_avoiding"] = model->selfAvoiding;
    m["max_steps"] = model->maxSteps;
    m["settings"] = settings;
    out.append(m);
  }
  return out;
}

}  // namespace

}  // namespace polychain::python

PYBIND11_MODULE(_core, m) {
  using namespace polychain::python;
  m.doc() =
      "The compiled core of polychain. Use the package's calls (polychain.run, sweep, sample, "
      "place and write), which check their arguments and shape the results.";
  m.def(
      "run",
      [](std::int32_t steps, const py::object& progress, const py::kwargs& kwargs) {
        return run(settingsOf(kwargs), steps, progress);
      },
      py::arg("steps"), py::arg("progress"),
      "run(steps, progress, **settings) -> dict: one run of the core, the GIL released.");
  m.def(
      "sweep",
      [](const std::vector<std::int32_t>& steps, const py::object& progress,
         const py::kwargs& kwargs) { return sweep(settingsOf(kwargs), steps, progress); },
      py::arg("steps"), py::arg("progress"),
      "sweep(steps, progress, **settings) -> dict: one sweep of the core, the GIL released.");
  m.def(
      "check_sweep",
      [](const std::vector<std::int32_t>& steps, const py::kwargs& kwargs) {
        checkSweepOnly(settingsOf(kwargs), steps);
      },
      py::arg("steps"),
      "check_sweep(steps, **settings) -> None: the checks of sweep() alone, nothing run.");
  m.def("sweep_series_seed", &polychain::sweepSeriesSeed, py::arg("seed"), py::arg("index"),
        py::arg("steps_count"),
        "sweep_series_seed(seed, index, steps_count) -> int: the seed of the sweep of the "
        "index-th value of a sweep over a setting.");
  m.def(
      "sample",
      [](std::int32_t steps, const py::object& progress, const py::kwargs& kwargs) {
        return sample(settingsOf(kwargs), steps, progress);
      },
      py::arg("steps"), py::arg("progress"),
      "sample(steps, progress, **settings) -> dict: many chains of the core, the GIL released.");
  m.def("models", &models, "models() -> list: the core's table of models and their settings.");
  m.def("statistics", &statistics,
        "statistics() -> dict: the common statistics' names and JSON keys.");
  m.def("formats", &formats, "formats() -> list: the core's table of file formats.");
  m.def("place", &place, py::arg("sites"), py::arg("starts"), py::arg("box"), py::arg("seed"),
        py::arg("self_avoiding"), py::arg("own_box") = py::none(),
        "place(sites, starts, box, seed, self_avoiding, own_box=None) -> dict: chains placed in "
        "a periodic box, or kept in a box of their own with the periodic axes own_box.");
  m.def("write", &writeFiles, py::arg("name"), py::arg("sites"), py::arg("images"),
        py::arg("starts"), py::arg("box"), py::arg("periodic"), py::arg("formats"),
        py::arg("bond_length"),
        "write(name, sites, images, starts, box, periodic, formats, bond_length) -> list: the "
        "paths written.");
  m.attr("__version__") = POLYCHAIN_VERSION;
  m.attr("DEFAULT_RESTART_TRAPPED") = polychain::kDefaultRestartTrapped;
}
