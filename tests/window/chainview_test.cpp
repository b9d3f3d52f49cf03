// The sites a plot draws of a long chain.
#include "window/chainview.h"

#include <gtest/gtest.h>

namespace polychain {
namespace {

TEST(DisplayIndices, AllOrAnEvenSpreadFromFirstToLast) {
  EXPECT_EQ(displayIndices(5, 20000), (std::vector<std::size_t>{0, 1, 2, 3, 4}));
  for (const auto& [count, cap] :
       {std::pair<std::size_t, std::size_t>{100001, 20000}, {20001, 20000}, {1000, 7}, {3, 2}}) {
    const std::vector<std::size_t> shown = displayIndices(count, cap);
    ASSERT_EQ(shown.size(), cap);
    EXPECT_EQ(shown.front(), 0U);
    EXPECT_EQ(shown.back(), count - 1);
    // Evenly spread: every gap is the same up to one site.
    const std::size_t gap = (count - 1) / (cap - 1);
    for (std::size_t i = 1; i < shown.size(); ++i) {
      const std::size_t step = shown[i] - shown[i - 1];
      EXPECT_TRUE(step == gap || step == gap + 1) << step;
    }
  }
}

}  // namespace
}  // namespace polychain
