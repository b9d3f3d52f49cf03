// The presentation table holds an entry for every measure of every model, each at a place of
// its own in the model's JSON.
#include "polychain/presentation.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace polychain {
namespace {

TEST(Presentation, EveryMeasureOfEveryModelHasItsOwnEntry) {
  std::size_t measures = 0;
  for (const ModelInfo* model : modelTable()) {
    SCOPED_TRACE(model->key);
    std::set<std::string_view> places;
    for (std::size_t m = 0; m < model->measures.size(); ++m) {
      const std::string_view name = model->measures[m].name;
      SCOPED_TRACE(name);
      const MeasurePresentation* shown = findPresentation(model->key, name);
      ASSERT_NE(shown, nullptr);
      EXPECT_EQ(shown->name, name);
      EXPECT_EQ(&presentationOf(*model, m), shown);
      EXPECT_FALSE(shown->json.empty());
      EXPECT_TRUE(places.insert(shown->json).second) << shown->json;
      ++measures;
    }
  }
  // A measure's name under another model's key, or a name no measure has, finds nothing.
  EXPECT_EQ(findPresentation("meander", "tau_R2"), nullptr);
  EXPECT_EQ(findPresentation("pivot", "no_such_measure"), nullptr);
  EXPECT_GT(measures, 0U);
}

}  // namespace
}  // namespace polychain
