#include "panes/printers/printers_text.hpp"

#include <gtest/gtest.h>

namespace settings::panes::printers::text {
namespace {

TEST(PrinterTextTest, QueueSummary)
{
    const struct {
        PrintQueue queue;
        std::string summary;
    } cases[] = {
        {{.is_default = true, .accepting_jobs = true}, "Default · accepting jobs"},
        {{.accepting_jobs = true}, "Accepting jobs"},
        {{.is_default = true}, "Not accepting new jobs"},
        // A message or a reason replaces the accepting text, even for a queue that accepts jobs.
        {{.state_message = "Out of paper", .accepting_jobs = true}, "Configured · Out of paper"},
        {{.state_reasons = {"media-empty-error", "paused"}, .is_default = true}, "Default · media-empty-error"},
        {{.state_reasons = {"paused"}, .state_message = "Stopped by the user"}, "Configured · Stopped by the user"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(queue_summary(c.queue), c.summary);
    }
}

TEST(PrinterTextTest, QueueSupplies)
{
    using Supplies = std::vector<PrinterSupply>;
    const struct {
        PrintQueue queue;
        std::string line;
    } cases[] = {
        {{.live_details = true}, "Supply levels not reported by this printer"},
        {{}, "Live IPP details unavailable"},
        {{.supplies = Supplies{}}, "Supplies: none installed"},
        {{.supplies = Supplies{{.name = "Black Toner", .level = 75}, {.name = "Cyan Ink"}, {.name = "Waste", .level = 0}}},
         "Supplies: Black Toner 75% · Cyan Ink — level not reported · Waste 0%"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(queue_supplies(c.queue), c.line);
    }
}

TEST(PrinterTextTest, QueueStateLabelsAndButtons)
{
    const struct {
        QueueState state;
        std::string_view label;
        int tone;
        std::string_view button;
    } cases[] = {
        {QueueState::Ready, "Ready", 0, "Pause"},
        {QueueState::Printing, "Printing", 0, "Pause"},
        {QueueState::Paused, "Paused", 2, "Resume"},
        {QueueState::Offline, "Offline", 2, "Pause"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(queue_state_label(c.state), c.label);
        EXPECT_EQ(queue_state_tone(c.state), c.tone);
        EXPECT_EQ(enabled_label(PrintQueue{.state = c.state}), c.button);
    }
}

TEST(PrinterTextTest, JobLines)
{
    const PrintJob job{.id = "42",
                       .title = "Quarterly report",
                       .owner = "ada",
                       .printer = "Office",
                       .state_detail = "media-jam",
                       .impressions_completed = 3,
                       .impressions_total = 10,
                       .size = 1'500,
                       .state = JobState::Printing};
    EXPECT_EQ(job_heading(job), "42 → Office");
    EXPECT_EQ(job_details(job), "Quarterly report · 1.5 kB · ada");
    EXPECT_EQ(job_progress(job), "Printing · 3 of 10 impressions · 30% · media-jam");

    const struct {
        PrintJob job;
        std::string line;
    } cases[] = {
        {{.impressions_completed = 3, .impressions_total = 0, .state = JobState::Waiting},
         "Waiting · 3 impressions completed"},
        {{.impressions_completed = 3, .state = JobState::Held}, "Held · 3 impressions completed"},
        {{.impressions_total = 10, .state = JobState::Stopped}, "Stopped · Page progress not reported"},
        {{.impressions_completed = 12, .impressions_total = 10, .state = JobState::Completed},
         "Completed · 12 of 10 impressions · 100%"},
        {{}, "State not reported · Page progress not reported"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(job_progress(c.job), c.line);
    }
}

TEST(PrinterTextTest, JobButtons)
{
    const struct {
        std::optional<JobState> state;
        JobButtons buttons;
    } cases[] = {
        {JobState::Waiting, {.cancel = true}},   {JobState::Held, {.cancel = true}},
        {JobState::Printing, {.cancel = true}},  {JobState::Stopped, {.retry = true, .cancel = true}},
        {JobState::Canceled, {.retry = true}},   {JobState::Failed, {.retry = true}},
        {JobState::Completed, {}},               {std::nullopt, {.cancel = true}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(job_buttons(c.state), c.buttons) << job_state_label(c.state);
    }
}

TEST(PrinterTextTest, DiscoveredPrinterDetail)
{
    EXPECT_EQ(printer_detail({.id = "ipp://a/", .name = "A", .detail = "HP LaserJet"}), "HP LaserJet");
    EXPECT_EQ(printer_detail({.id = "ipp://a/", .name = "A"}), "Driverless IPP");
}

}  // namespace
}  // namespace settings::panes::printers::text
