#include "console/estimate.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

TEST(Estimate, CountsAreGroupedInThousands) {
  const struct {
    uint32_t count;
    const char* text;
  } rows[] = {{0, "0"},
              {999, "999"},
              {1000, "1,000"},
              {12345, "12,345"},
              {123456, "123,456"},
              {12345678, "12,345,678"},
              {50000000, "50,000,000"},
              {UINT_MAX, "4,294,967,295"}};
  for (const auto& row : rows) EXPECT_EQ(GroupedCount(row.count), row.text) << "count " << row.count;
}

TEST(Estimate, RateHasThreeSignificantDigitsAndAPrefix) {
  const struct {
    double per_second;
    const char* text;
  } rows[] = {
      {0.0, "0.00 /s"},      {0.5, "0.50 /s"},        {7.0, "7.00 /s"},       {42.25, "42.2 /s"},
      {850.0, "850 /s"},     {999.4, "999 /s"},       {999.6, "1.00 k/s"},    {12345.0, "12.3 k/s"},
      {123456.0, "123 k/s"}, {1234567.0, "1.23 M/s"}, {999600.0, "1.00 M/s"}, {2.5e9, "2.50 G/s"},
      {4.2e12, "4200 G/s"},  // no prefix beyond G
  };
  for (const auto& row : rows) EXPECT_EQ(RateText(row.per_second), row.text) << row.per_second << " per second";
}

TEST(Estimate, TimeLeftIsRoundedToSecondsBelowAnHourAndToMinutesAbove) {
  const struct {
    double seconds;
    const char* text;
  } rows[] = {
      {0.0, "less than a second left"},
      {0.99, "less than a second left"},
      {1.0, "about 1 s left"},
      {1.49, "about 1 s left"},
      {30.6, "about 31 s left"},
      {59.4, "about 59 s left"},
      {59.5, "about 1 min left"},
      {125.0, "about 2 min 5 s left"},
      {3599.4, "about 59 min 59 s left"},
      {3599.5, "about 1 h left"},
      {3629.0, "about 1 h left"},
      {3931.0, "about 1 h 6 min left"},
      {7170.0, "about 2 h left"},  // 119.5 minutes
      {50000000.0, "about 13888 h 53 min left"},
  };
  for (const auto& row : rows) EXPECT_EQ(TimeLeftText(row.seconds), row.text) << row.seconds << " seconds";
}

TEST(Estimate, TimeLeftFollowsTheRateSoFar) {
  EXPECT_EQ(SecondsLeft(1, 4, 2.0), 6.0);
  EXPECT_EQ(SecondsLeft(3, 4, 3.0), 1.0);
  EXPECT_EQ(SecondsLeft(4, 4, 9.0), 0.0);
  EXPECT_EQ(SecondsLeft(5, 4, 9.0), 0.0);  // past the total: nothing is left
  EXPECT_EQ(SecondsLeft(1, UINT_MAX, 1.0), double(UINT_MAX) - 1.0);
}

TEST(Estimate, RowsNameTheCountsTheRateAndTheTimeLeft) {
  EXPECT_EQ(SamplingEstimate(12345678, 50000000, 10.0),
            "Samples: 12,345,678 of 50,000,000 - 1.23 M/s - about 31 s left");
  EXPECT_EQ(SamplingEstimate(20000000, 20000000, 15.0),
            "Samples: 20,000,000 of 20,000,000 - 1.33 M/s - less than a second left");
  EXPECT_EQ(SamplingEstimate(0, 1000, 2.0), "Samples: 0 of 1,000 - 0.00 /s");
  EXPECT_EQ(SensorEstimate(1000, 5000, 1.0), "Sensor stage: about 4 s left");
  EXPECT_EQ(SensorEstimate(0, 5000, 1.0), "");
}

}  // namespace
