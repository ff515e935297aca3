// The chart's arithmetic: the navigation buttons, zoom about a point, the limits of the time axis, the
// pointer value format and the visible part of a series.
#include "analysis/ChartNavigation.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace selva;

namespace {

void expectSpan(AxisSpan r, double min, double max)
{
    EXPECT_NEAR(r.min, min, 1e-9 * std::max(1.0, std::fabs(min)));
    EXPECT_NEAR(r.max, max, 1e-9 * std::max(1.0, std::fabs(max)));
}

} // namespace

TEST(ChartNavigation, TimeButtons)
{
    // Current range 10..20 (span 10); data from 0 to 100.
    const struct {
        TimeNav button;
        double min, max;
    } cases[] = {
        {TimeNav::Start, 0, 10},          {TimeNav::End, 90, 100},        {TimeNav::In, 12.5, 17.5},
        {TimeNav::Out, 5, 25},            {TimeNav::LeftPage, 2.5, 12.5}, {TimeNav::RightPage, 17.5, 27.5},
        {TimeNav::Left, 9, 19},           {TimeNav::Right, 11, 21},
    };
    for (const auto& c : cases)
        expectSpan(navigateTime(c.button, {10, 20}, 0, 100), c.min, c.max);
}

// With the axis inverted the paired buttons swap roles: the panel keeps its look while the data turn.
TEST(ChartNavigation, ValueButtons)
{
    // Current range 100..200 (span 100); data from 50 to 500.
    const struct {
        ValueNav button;
        bool inverted;
        double min, max;
    } cases[] = {
        {ValueNav::Bottom, false, 400, 500},   {ValueNav::Top, false, 50, 150},
        {ValueNav::Top, true, 400, 500},       {ValueNav::Bottom, true, 50, 150},
        {ValueNav::In, false, 125, 175},       {ValueNav::Out, true, 50, 250},
        {ValueNav::DownPage, false, 25, 125},  {ValueNav::UpPage, false, 175, 275},
        {ValueNav::UpPage, true, 25, 125},     {ValueNav::DownPage, true, 175, 275},
        {ValueNav::Down, false, 90, 190},      {ValueNav::Up, true, 90, 190},
    };
    for (const auto& c : cases)
        expectSpan(navigateValue(c.button, c.inverted, {100, 200}, 50, 500), c.min, c.max);
}

TEST(ChartNavigation, ZoomAndTimeLimits)
{
    // Two notches away from the user halve the span; the anchor keeps its place (a quarter in).
    const AxisSpan r = zoomAround({0, 100}, 25, wheelZoomFactor(240));
    expectSpan(r, 12.5, 62.5);
    expectSpan(zoomAround(r, 25, wheelZoomFactor(-240)), 0, 100);
    EXPECT_EQ(zoomAround({5, 5}, 5, 0.5), (AxisSpan{5, 5}));
    // Never before the start or past the end; a wider range shows all; never narrower than two steps.
    EXPECT_EQ(limitTimeRange({-3, 2}, 0, 10, 0.01), (AxisSpan{0, 5}));
    EXPECT_EQ(limitTimeRange({8, 13}, 0, 10, 0.01), (AxisSpan{5, 10}));
    EXPECT_EQ(limitTimeRange({-5, 20}, 0, 10, 0.01), (AxisSpan{0, 10}));
    EXPECT_EQ(limitTimeRange({2, 3}, 0, 10, 0.01), (AxisSpan{2, 3}));
    expectSpan(limitTimeRange({4, 4.001}, 0, 10, 0.01), 3.9905, 4.0105);
    EXPECT_GT(limitValueRange({7, 7}).span(), 0);
}

TEST(ChartNavigation, PointerValueFormat)
{
    const struct {
        double value, max, min;
        const char* text;
    } cases[] = {
        {3.14159, 5, 0, "3.14"},  {1.5, 5, 0, "1.5"},      {123.456, 500, 0, "123"},    {12.34, 50, 0, "12.3"},
        {12.34, 0, 50, "12.3"},   {0.123456, 0.01, 0, "0.1235"}, {0.25, 0.5, 0, "0.25"}, {0, 5, 0, "0"},
        {-1.5, 5, 0, "-1.50"},    {12.5, 5, 0, "12.50"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FormatAxisValue(c.value, c.max, c.min), c.text) << c.value;
        std::string comma = c.text;
        for (char& ch : comma)
            ch = ch == '.' ? ',' : ch;
        EXPECT_EQ(FormatAxisValue(c.value, c.max, c.min, ','), comma) << c.value;
    }
}

TEST(ChartNavigation, VisibleIndexRange)
{
    std::size_t a = 0, b = 0;
    ASSERT_TRUE(visibleIndexRange(0.01, 0, 1000, {1.0, 2.0}, a, b));
    EXPECT_EQ(a, 99u);
    EXPECT_EQ(b, 201u);
    ASSERT_TRUE(visibleIndexRange(0.01, 5, 1000, {-50, 500}, a, b));
    EXPECT_EQ(a, 5u);
    EXPECT_EQ(b, 1000u);
    EXPECT_FALSE(visibleIndexRange(0.01, 0, 1000, {20, 30}, a, b));
    EXPECT_FALSE(visibleIndexRange(0, 0, 1000, {0, 1}, a, b));
    EXPECT_FALSE(visibleIndexRange(0.01, 0, 1000, {std::nan(""), 1}, a, b));
}
