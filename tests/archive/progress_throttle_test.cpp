#include "archive/progress_throttle.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <vector>

#include "foundation/abandon.h"
#include "foundation/com_error.h"
#include "support/errors.h"

namespace CV {
namespace {

class RecordingProgress final : public Progress::IAbsProgress {
 public:
  bool Progress(std::uint64_t position, std::uint64_t total, int percent) override {
    calls.push_back({position, total, percent});
    return answer;
  }
  void SetText(const std::u16string& text) override {
    if (throwOnText) throw std::runtime_error("no window");
    texts.push_back(text);
  }
  struct Call {
    std::uint64_t position, total;
    int percent;
  };
  std::vector<Call> calls;
  std::vector<std::u16string> texts;
  bool answer = true;
  bool throwOnText = false;
};

TEST(CProgressThrottle, PercentageRules) {
  struct Case {
    std::uint64_t position, total;
    float percent;
  };
  const Case cases[] = {
      {0, 10, 0.0f},   {1, 10, 10.0f}, {9, 10, 90.0f}, {10, 10, 100.0f}, {11, 10, 100.0f},
      {0, 0, 0.0f},    {5, 0, 100.0f}, {1, 3, 33.333332f}, {2, 3, 66.666664f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.position << "/" << c.total);
    EXPECT_FLOAT_EQ(CProgressThrottle::Percentage(c.position, c.total), c.percent);
  }
}

TEST(CProgressThrottle, FirstReportAlwaysGoesOutAndMinimumChangeHolds) {
  RecordingProgress sink;
  CProgressThrottle every(&sink);  // minimum change 0: every step reports, the same percentage too
  EXPECT_TRUE(every.Step(0, 3));
  EXPECT_TRUE(every.Step(0, 3));
  EXPECT_TRUE(every.Step(2, 3));
  ASSERT_EQ(sink.calls.size(), 3u);
  EXPECT_EQ(sink.calls[2].percent, 66);  // truncated

  RecordingProgress coarse;
  CProgressThrottle throttle(&coarse, 200.0f, 25.0f);
  for (std::uint64_t i = 0; i <= 100; ++i) throttle.Step(i, 100);
  ASSERT_EQ(coarse.calls.size(), 5u);  // 0, 25, 50, 75, 100
  EXPECT_EQ(coarse.calls.back().percent, 100);

  sink.answer = false;
  EXPECT_FALSE(every.Step(3, 3));
  CProgressThrottle none(nullptr);
  EXPECT_TRUE(none.Step(1, 2));
  none.SetText(u"ohne Dialog");
}

TEST(CProgressThrottle, TextFailuresAreSwallowed) {
  RecordingProgress sink;
  CProgressThrottle throttle(&sink);
  throttle.SetText(u"Posteingang");
  sink.throwOnText = true;
  EXPECT_NO_THROW(throttle.SetText(u"Gesendet"));
  EXPECT_EQ(sink.texts, std::vector<std::u16string>{u"Posteingang"});
}

TEST(CProgressThrottle, AbandonedWorkStopsAtTheNextStep) {
  RecordingProgress sink;
  CProgressThrottle throttle(&sink);
  std::atomic<bool> abandoned{false};
  BindAbandonFlag(&abandoned);
  EXPECT_TRUE(throttle.Step(1, 2));
  abandoned = true;
  EXPECT_EQ(Fake::ErrorOf([&] { throttle.Step(2, 2); }), E_ABORT);
  BindAbandonFlag(nullptr);
  EXPECT_EQ(sink.calls.size(), 1u);
}

}  // namespace
}  // namespace CV
