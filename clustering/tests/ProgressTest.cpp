// The tenths that long runs print ("10%..20%.."), on lists of every size
// the step of a tenth could trip on.

#include <gtest/gtest.h>

#include <string>

#include "clustering/Progress.h"

namespace {

// What a counter over `count` items prints for positions 0 to last.
std::string Printed(std::size_t count, std::size_t last) {
  std::string printed;
  const progress::Sink previous = progress::SetSink([&printed](const std::string& f) { printed += f; });
  progress::Counter counter(count);
  for (std::size_t i = 0; i <= last; ++i) counter.At(i);
  progress::SetSink(previous);
  return printed;
}

struct CountCase {
  std::size_t count;
  const char* printed;  // over the positions 0 to count - 1
};

class ProgressCounter : public ::testing::TestWithParam<CountCase> {};

TEST_P(ProgressCounter, TenthsStayWithinTheList) {
  const CountCase& c = GetParam();
  EXPECT_EQ(Printed(c.count, c.count - 1), c.printed);
  // Positions beyond the list (a caller counting one too far) stop at 100%.
  const std::string past = Printed(c.count, 3 * c.count);
  EXPECT_EQ(past.find("110%"), std::string::npos) << past;
  if (c.count >= 10) {
    EXPECT_EQ(past, std::string(c.printed) + "100%..");
  }
}

INSTANTIATE_TEST_SUITE_P(
    SmallAndOddCounts, ProgressCounter,
    ::testing::Values(CountCase{1, ""}, CountCase{9, ""},
                      CountCase{10, "10%..20%..30%..40%..50%..60%..70%..80%..90%.."},
                      CountCase{19, "10%..20%..30%..40%..50%..60%..70%..80%..90%.."},
                      CountCase{101, "10%..20%..30%..40%..50%..60%..70%..80%..90%.."}));

TEST(ProgressCounter, NoItemsPrintNothing) { EXPECT_EQ(Printed(0, 5), ""); }

}  // namespace
