// The progress bar's values: rounded percentages, each shown once.
#include <gtest/gtest.h>

#include "base/uiops.h"

#include "support/recordingui.h"

namespace zantrel {
namespace {

TEST(Progress, PercentRoundsHalvesToEvenAndRepeatsAreDropped) {
    EXPECT_EQ(ProgressPercent(1, 8), 12);
    EXPECT_EQ(ProgressPercent(3, 8), 38);
    EXPECT_EQ(ProgressPercent(5, 8), 62);
    EXPECT_EQ(ProgressPercent(7, 8), 88);
    EXPECT_EQ(ProgressPercent(1, 3), 33);
    EXPECT_EQ(ProgressPercent(2, 3), 67);
    EXPECT_EQ(ProgressPercent(8, 8), 100);
    EXPECT_EQ(ProgressPercent(0, 0), 0);

    test::RecordingUi ui;
    ShowProgress(true);
    for (int i = 0; i < 16; ++i)
        SetProgress(ProgressPercent(i / 4, 4));
    ShowProgress(false);
    ShowProgress(true);
    SetProgress(75); // a new bar starts afresh
    EXPECT_EQ(ui.progress, (std::vector<int>{0, 25, 50, 75, 75}));
}

TEST(ProgressMeter, GivesEveryValueOncePerPercentNotPerStep) {
    // Steps of odd sizes, as S-record lines of a superfile come: the meter
    // must show exactly the values a per-step computation would, in order.
    const double whole = 1'000'003;
    std::vector<int> expected;
    {
        test::RecordingUi ui;
        ShowProgress(true);
        for (double part = 8172; part < whole + 9000; part += 137)
            SetProgress(ProgressPercent(part, whole));
        expected = ui.progress;
    }
    test::RecordingUi ui;
    ShowProgress(true);
    ProgressMeter meter(whole);
    for (double part = 8172; part < whole + 9000; part += 137)
        meter.Update(part);
    EXPECT_EQ(ui.progress, expected);
    EXPECT_EQ(ui.progress.front(), 1);
    EXPECT_EQ(ui.progress.back(), 101);

    // Right on a half that rounds down to even: the next step moves on.
    test::RecordingUi halves;
    ProgressMeter half(8);
    for (int part = 0; part <= 8; ++part)
        half.Update(part);
    EXPECT_EQ(halves.progress, (std::vector<int>{0, 12, 25, 38, 50, 62, 75, 88, 100}));
}

} // namespace
} // namespace zantrel
