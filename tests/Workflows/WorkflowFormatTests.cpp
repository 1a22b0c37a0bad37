#include "VedevaveApp/Workflows/Workflow.h"
#include "VedevaveApp/Workflows/WorkflowStore.h"
#include "WorkflowTestSupport.h"

#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <limits>

namespace {

using namespace VedevaveApp;
using Kind = WorkflowStep::Kind;
using WorkflowTestSupport::bareStep;

Workflow base() {
    Workflow workflow;
    workflow.name = "Open Notes";
    workflow.createdAt = "2026-03-01T14:05:09Z";
    workflow.steps = {WorkflowStep::tap(0.5, 0.5)};
    return workflow;
}

std::string repeated(std::string_view unit, std::size_t count) {
    std::string out;
    for (std::size_t i = 0; i < count; ++i) {
        out += unit;
    }
    return out;
}

// Absent: valid.
std::optional<WorkflowStoreError> validationOf(const Workflow& workflow) {
    try {
        WorkflowStore::validate(workflow);
        return std::nullopt;
    } catch (const WorkflowStoreError& error) {
        return error;
    }
}

struct ValidityCase {
    const char* what;
    std::function<void(Workflow&)> change;
    std::optional<WorkflowStoreError> expected;
};

TEST(WorkflowValidation, EveryRuleAtItsBoundary) {
    const auto invalidWorkflow = WorkflowStoreError::invalidWorkflow();
    const auto step1 = WorkflowStoreError::invalidStep(1);
    auto only = [](WorkflowStep step) { return [step](Workflow& w) { w.steps = {step}; }; };
    WorkflowStep swipe = WorkflowStep::swipe(0, 0, 1, 1, 120);
    auto swipeWith = [&](std::function<void(WorkflowStep&)> edit) {
        WorkflowStep s = swipe;
        edit(s);
        return only(s);
    };
    const double infinity = std::numeric_limits<double>::infinity();
    WorkflowStep noUsage = WorkflowStep::key(4, 0);
    noUsage.usage.reset();
    WorkflowStep noText = WorkflowStep::type("");
    noText.text.reset();
    WorkflowStep tapWithoutY = WorkflowStep::tap(0.5, 0.5);
    tapWithoutY.y.reset();
    WorkflowStep noWait = WorkflowStep::wait(0);
    noWait.ms.reset();

    const std::vector<ValidityCase> cases{
        {"the base workflow", [](Workflow&) {}, std::nullopt},
        // 1. name
        {"name of blanks only", [](Workflow& w) { w.name = " \t\n\u3000"; }, invalidWorkflow},
        {"name with blanks around it", [](Workflow& w) { w.name = "  x  "; }, std::nullopt},
        {"name with a tab inside", [](Workflow& w) { w.name = "a\tb"; }, invalidWorkflow},
        {"name with DEL", [](Workflow& w) { w.name = "a\x7f"; }, invalidWorkflow},
        {"name of 120 characters", [](Workflow& w) { w.name = repeated("n", 120); }, std::nullopt},
        {"name of 121 characters", [](Workflow& w) { w.name = repeated("n", 121); }, invalidWorkflow},
        {"name of 120 clusters of several scalars", [](Workflow& w) { w.name = repeated("e\u0301", 120); },
         std::nullopt},
        {"name of 121 four-byte characters (484 bytes)",
         [](Workflow& w) { w.name = repeated("\U0001F600", 121); }, invalidWorkflow},
        {"name of 120 four-byte characters (480 bytes)",
         [](Workflow& w) { w.name = repeated("\U0001F600", 120); }, std::nullopt},
        {"name of 97 six-byte clusters (582 bytes)",
         [](Workflow& w) { w.name = repeated("e\u20DD\u0301", 97); }, invalidWorkflow},
        {"name that is not UTF-8", [](Workflow& w) { w.name = "a\xff"; }, invalidWorkflow},
        // 2-4. version, date, latency
        {"version 2", [](Workflow& w) { w.version = 2; }, invalidWorkflow},
        {"empty date", [](Workflow& w) { w.createdAt = ""; }, invalidWorkflow},
        {"date with an offset", [](Workflow& w) { w.createdAt = "2026-03-01T14:05:09+02:00"; }, std::nullopt},
        {"date without a zone", [](Workflow& w) { w.createdAt = "2026-03-01T14:05:09"; }, invalidWorkflow},
        {"30 February", [](Workflow& w) { w.createdAt = "2026-02-30T14:05:09Z"; }, invalidWorkflow},
        {"date over 64 bytes",
         [](Workflow& w) { w.createdAt = "2026-03-01T14:05:09." + repeated("0", 44) + "Z"; },
         invalidWorkflow},
        {"latency -1", [](Workflow& w) { w.latencyP95Ms = -1; }, invalidWorkflow},
        {"latency 60000", [](Workflow& w) { w.latencyP95Ms = 60'000; }, std::nullopt},
        {"latency 60001", [](Workflow& w) { w.latencyP95Ms = 60'001; }, invalidWorkflow},
        // 5. step count
        {"2048 steps", [](Workflow& w) { w.steps.assign(2048, WorkflowStep::wait(0)); }, std::nullopt},
        {"2049 steps", [](Workflow& w) { w.steps.assign(2049, WorkflowStep::wait(0)); },
         WorkflowStoreError::tooManySteps()},
        {"bad metadata wins over too many steps",
         [](Workflow& w) {
             w.steps.assign(2049, WorkflowStep::wait(0));
             w.version = 0;
         },
         invalidWorkflow},
        // 6. taps
        {"tap at 1, 0", only(WorkflowStep::tap(1.0, 0.0)), std::nullopt},
        {"tap at 1.0000001", only(WorkflowStep::tap(1.0000001, 0.5)), step1},
        {"tap at a negative x", only(WorkflowStep::tap(-0.01, 0.5)), step1},
        {"tap at infinity", only(WorkflowStep::tap(0.5, infinity)), step1},
        {"tap at not-a-number", only(WorkflowStep::tap(std::nan(""), 0.5)), step1},
        {"tap without y", only(tapWithoutY), step1},
        // swipes
        {"swipe of 120 ms", only(swipe), std::nullopt},
        {"swipe of 119 ms", swipeWith([](WorkflowStep& s) { s.ms = 119; }), step1},
        {"swipe of 10000 ms", swipeWith([](WorkflowStep& s) { s.ms = 10'000; }), std::nullopt},
        {"swipe of 10001 ms", swipeWith([](WorkflowStep& s) { s.ms = 10'001; }), step1},
        {"swipe without a duration", swipeWith([](WorkflowStep& s) { s.ms.reset(); }), step1},
        {"swipe ending outside", swipeWith([](WorkflowStep& s) { s.y1 = 1.5; }), step1},
        // typing
        {"type with tab, line feed and DEL", only(WorkflowStep::type("a\tb\nc\x7f")), std::nullopt},
        {"type with a carriage return", only(WorkflowStep::type("a\rb")), step1},
        {"empty type", only(WorkflowStep::type("")), std::nullopt},
        {"type without text", only(noText), step1},
        {"type of 8192 characters", only(WorkflowStep::type(repeated("a", 8192))), std::nullopt},
        {"type of 8193 characters", only(WorkflowStep::type(repeated("a", 8193))), step1},
        {"type of 8192 characters in 32768 bytes", only(WorkflowStep::type(repeated("\U0001F600", 8192))),
         std::nullopt},
        {"type of 32769 bytes", only(WorkflowStep::type(repeated("\U0001F600", 8192) + "a")), step1},
        {"type that is not UTF-8", only(WorkflowStep::type("\xc3")), step1},
        {"eight full type steps",
         [](Workflow& w) { w.steps.assign(8, WorkflowStep::type(repeated("a", 8192))); }, std::nullopt},
        {"a ninth non-empty type step",
         [](Workflow& w) {
             w.steps.assign(8, WorkflowStep::type(repeated("a", 8192)));
             w.steps.insert(w.steps.begin(), WorkflowStep::wait(5));
             w.steps.push_back(WorkflowStep::type("b"));
         },
         WorkflowStoreError::invalidStep(10)},
        {"nine type steps over the byte total",
         [](Workflow& w) {
             w.steps.assign(8, WorkflowStep::type(repeated("\U0001F600", 8192)));
             w.steps.push_back(WorkflowStep::type(""));
             w.steps.push_back(WorkflowStep::type("\U0001F600"));
         },
         WorkflowStoreError::invalidStep(10)},
        // keys
        {"key 65535 with mods 255", only(WorkflowStep::key(65535, 255)), std::nullopt},
        {"key usage 0", only(WorkflowStep::key(0, 0)), step1},
        {"key mods 256",
         [](Workflow& w) {
             w.steps = {WorkflowStep::key(4, 0)};
             w.steps[0].mods = 256;
         },
         step1},
        {"key usage 65536",
         [](Workflow& w) {
             w.steps = {WorkflowStep::key(4, 0)};
             w.steps[0].usage = 65536;
         },
         step1},
        {"key without usage", only(noUsage), step1},
        // buttons and waits
        {"button volume-down", only(WorkflowStep::button("volume-down")), std::nullopt},
        {"button screenshot", only(WorkflowStep::button("screenshot")), step1},
        {"button without a name", only(bareStep(Kind::button)), step1},
        {"wait of 60000", only(WorkflowStep::wait(60'000)), std::nullopt},
        {"wait of 60001", only(WorkflowStep::wait(60'001)), step1},
        {"wait without ms", only(noWait), step1},
        {"fields a kind does not use are not checked",
         [](Workflow& w) {
             w.steps[0].ms = -5;
             w.steps[0].usage = 0;
             w.steps[0].name = "nonsense";
         },
         std::nullopt},
    };
    for (const auto& testCase : cases) {
        Workflow workflow = base();
        testCase.change(workflow);
        const auto result = validationOf(workflow);
        EXPECT_EQ(result.has_value(), testCase.expected.has_value()) << testCase.what;
        if (result && testCase.expected) {
            EXPECT_EQ(result->description(), testCase.expected->description()) << testCase.what;
        }
    }
}

TEST(WorkflowValidation, ErrorTexts) {
    EXPECT_EQ(WorkflowStoreError::invalidStep(3).description(),
              "Workflow step 3 is invalid or exceeds its safety limit.");
    EXPECT_EQ(WorkflowStoreError::importBlocked().description(),
              "Workflows can only be loaded from Vedevave's workflow library.");
    EXPECT_EQ(WorkflowStoreError::invalidFile().description(),
              "The workflow must be a regular JSON file, not a symbolic link.");
    EXPECT_EQ(WorkflowStoreError::fileTooLarge().description(), "The workflow file exceeds the 2 MB limit.");
    EXPECT_EQ(WorkflowStoreError::tooManySteps().description(),
              "A workflow can contain at most 2,048 steps.");
    EXPECT_EQ(WorkflowStoreError::invalidWorkflow().description(),
              "The workflow metadata is invalid or exceeds its safety limit.");
}

TEST(WorkflowJSON, EncodesSortedPrettyAndLeavesAbsentFieldsOut) {
    Workflow workflow("Demo", {WorkflowStep::tap(0.5, 1.0), WorkflowStep::key(40, 8), WorkflowStep::wait(-3)},
                      120, std::chrono::system_clock::time_point(std::chrono::seconds(1772373909)));
    EXPECT_EQ(workflow.createdAt, "2026-03-01T14:05:09Z");
    EXPECT_EQ(workflow.version, 1);
    EXPECT_EQ(encodeWorkflow(workflow), R"({
  "createdAt": "2026-03-01T14:05:09Z",
  "latencyP95Ms": 120,
  "name": "Demo",
  "steps": [
    {
      "kind": "tap",
      "x": 0.5,
      "y": 1.0
    },
    {
      "kind": "key",
      "mods": 8,
      "usage": 40
    },
    {
      "kind": "wait",
      "ms": 0
    }
  ],
  "version": 1
}
)");
    EXPECT_EQ(decodeWorkflow(encodeWorkflow(workflow)), workflow);

    Workflow every = base();
    every.latencyP95Ms.reset();
    every.steps = {WorkflowStep::swipe(0.1, 0.2, 0.3, 0.4, 500), WorkflowStep::type("h\u00E9\n\"\\"),
                   WorkflowStep::button("cc")};
    EXPECT_EQ(decodeWorkflow(encodeWorkflow(every)), every);
    EXPECT_EQ(encodeWorkflow(every).find("latencyP95Ms"), std::string::npos);
}

TEST(WorkflowJSON, DecodingAcceptsNullsUnknownKeysAndWholeRealsAndRefusesWrongShapes) {
    const auto decoded = decodeWorkflow(R"({"name":"n","version":1.0,"createdAt":"2026-03-01T14:05:09Z",
        "latencyP95Ms":null,"extra":[1,2],"steps":[{"kind":"tap","x":1,"y":0,"text":null,"future":true}]})");
    EXPECT_EQ(decoded.version, 1);
    EXPECT_FALSE(decoded.latencyP95Ms);
    ASSERT_EQ(decoded.steps.size(), 1u);
    EXPECT_EQ(decoded.steps[0], WorkflowStep::tap(1, 0));

    const std::string valid = R"("name":"n","version":1,"createdAt":"2026-03-01T14:05:09Z")";
    const std::vector<std::pair<std::string, std::string>> refused{
        {"", "it is not valid JSON (at byte 1)."},
        {"[]", "the top level must be an object, not array."},
        {R"({"version":1,"createdAt":"x","steps":[]})", "\"name\" is missing."},
        {"{" + valid + "}", "\"steps\" is missing."},
        {"{" + valid + R"(,"steps":{}})", "\"steps\" must be an array, not object."},
        {R"({"name":7,"version":1,"createdAt":"x","steps":[]})", "\"name\" must be a string, not number."},
        {R"({"name":"n","version":1.5,"createdAt":"x","steps":[]})",
         "\"version\" must be a whole number within 64 bits."},
        {"{" + valid + R"(,"steps":[{"kind":"wait","ms":1},{"kind":"jump"}]})",
         "step 2: \"jump\" is not a step kind (tap, swipe, type, key, button or wait)."},
        {"{" + valid + R"(,"steps":[{"x":1}]})", "step 1: \"kind\" is missing."},
        {"{" + valid + R"(,"steps":[{"kind":"tap","x":"1"}]})",
         "step 1: \"x\" must be a number, not string."},
        {"{" + valid + R"(,"steps":[{"kind":"tap","x":true}]})",
         "step 1: \"x\" must be a number, not boolean."},
        {"{" + valid + R"(,"steps":[{"kind":"key","usage":1e30}]})",
         "step 1: \"usage\" must be a whole number within 64 bits."},
        {"{" + valid + R"(,"steps":[7]})", "step 1: must be an object, not number."},
        {"{\"name\":\"\xff\"}", "it is not valid JSON (at byte 10)."},
    };
    for (const auto& [text, detail] : refused) {
        try {
            (void)decodeWorkflow(text);
            ADD_FAILURE() << "decoded: " << text;
        } catch (const WorkflowDecodingError& error) {
            EXPECT_EQ(error.detail(), detail) << text;
            EXPECT_EQ(error.description(), "The workflow file could not be read: " + detail);
        }
    }
}

TEST(WorkflowStepTexts, TitlesSummariesAndDetails) {
    struct Row {
        WorkflowStep step;
        const char* title;
        const char* summary;
        const char* detail;
    };
    const WorkflowStep bareTap = bareStep(Kind::tap);
    const std::vector<Row> rows{
        {WorkflowStep::tap(0.5, 0.8), "Tap", "Tap 50%, 80%", "50%, 80%"},
        {bareTap, "Tap", "Tap 0%, 0%", "0%, 0%"},
        {WorkflowStep::swipe(0.5, 0.98, 0.5, 0.35, 420), "Swipe", "Swipe 50%,98% \u2192 50%,35%",
         "50%,98% \u2192 50%,35%"},
        {WorkflowStep::type("hello"), "Type", "Type \u201Chello\u201D", "hello"},
        {WorkflowStep::type(repeated("a", 28)), "Type", nullptr, nullptr},
        {WorkflowStep::type(repeated("\u00E9", 29)), "Type", nullptr, nullptr},
        {WorkflowStep::key(40, 0), "Key", "Key usage 40", "usage 40"},
        {WorkflowStep::button("volume-up"), "Volume-Up", "Button volume-up", "volume-up"},
        {WorkflowStep::button("HOME"), "Home", "Button HOME", "HOME"},
        {bareStep(Kind::button), "Button", "Button ?", "?"},
        {WorkflowStep::wait(1500), "Pause", "Pause 1.5s", "1.5s"},
        {WorkflowStep::wait(999), "Pause", "Pause 999 ms", "999 ms"},
        {WorkflowStep::wait(1000), "Pause", "Pause 1.0s", "1.0s"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(row.step.title(), row.title);
        if (row.summary) {
            EXPECT_EQ(row.step.summary(), row.summary);
            EXPECT_EQ(row.step.detail(), row.detail);
        }
    }
    EXPECT_EQ(WorkflowStep::type(repeated("a", 28)).detail(), repeated("a", 28));
    EXPECT_EQ(WorkflowStep::type(repeated("\u00E9", 29)).detail(), repeated("\u00E9", 26) + "\u2026");
}

} // namespace
