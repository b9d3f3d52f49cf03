// The window's own texts: chains counted from one as the user counts them, the seed whole, and
// the trapped-chain notice naming the chain, its trials and the setting that regrows it.
#include "window/windowtexts.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace polychain {
namespace {

TEST(StatusText, ChainsAreCountedFromOneAndTheSeedIsShownWhole) {
  EXPECT_EQ(trialsStatus(0, 20, 1), "Chain 1 of 20: 1 trial");
  EXPECT_EQ(trialsStatus(19, 20, 123456), "Chain 20 of 20: 123456 trials");
  EXPECT_EQ(seedStatus(18446744073709551615u), "Seed: 18446744073709551615");
  // The notice and the status name the same chain, and the notice what regrowing does.
  for (const std::int64_t restart :
       {std::int64_t{0}, std::int64_t{10000000}, std::int64_t{50000000}}) {
    const std::string notice = trappedNotice(16, 50, 20001792, restart);
    EXPECT_NE(notice.find("Chain 17 of 50 "), std::string::npos) << notice;
    EXPECT_NE(notice.find("20001792 trials"), std::string::npos) << notice;
    EXPECT_NE(notice.find(kRestartField), std::string::npos) << notice;
    EXPECT_NE(notice.find(restart == 0 ? " is 0" : std::to_string(restart)), std::string::npos)
        << notice;
  }
  EXPECT_NE(trappedNotice(16, 50, 2, 10000000).find("has not helped"), std::string::npos);
  EXPECT_EQ(trappedStatus(16, 50, 20001792),
            "Chain 17 of 50 may be trapped (20001792 trials); the other chains go on.");
}

}  // namespace
}  // namespace polychain
