// The transfer log on real files: records come back as they were written,
// whatever a power cut or an odd reason text left behind, and can be picked out.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <nlohmann/json.hpp>

#include "TestHelpers.h"
#include "dnc/Sha256.h"
#include "dnc/TransferFilter.h"
#include "dnc/TransferLog.h"

namespace {

using namespace std::chrono;

LogTimePoint At(sys_days day, milliseconds time) {
    return LogTimePoint(day) + time;
}

TransferRecord Record(std::string machine, TransferDirection direction, std::string program,
                      LogTimePoint end, std::string result = "ok") {
    TransferRecord r;
    r.machine = std::move(machine);
    r.direction = direction;
    r.program = std::move(program);
    r.path = "/srv/dnc/" + r.program + ".nc";
    r.bytes = 1234;
    r.lines = 56;
    r.sha256 = Sha256::Of("x");
    r.start = end - 12345ms;
    r.end = end;
    r.result = std::move(result);
    r.holds = 3;
    r.overruns = 1;
    r.errors = 2;
    return r;
}

std::vector<TransferRecord> Records(const TransferLogContents& contents) {
    std::vector<TransferRecord> out;
    for (const LoggedTransfer& t : contents.transfers)
        out.push_back(t.record);
    return out;
}

// Sets TZ for one test and puts the old one back.
class LocalZone {
public:
    explicit LocalZone(const char* zone) {
        if (const char* old = std::getenv("TZ"))
            saved = old, hadZone = true;
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~LocalZone() {
        if (hadZone)
            ::setenv("TZ", saved.c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }

private:
    std::string saved;
    bool hadZone = false;
};

TEST(Sha256, KnownVectorsWholeAndInPieces) {
    EXPECT_EQ(Sha256::Of(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Sha256::Of("abc"),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    Sha256 sha;
    sha.Update("a");
    EXPECT_EQ(sha.HexDigest(), Sha256::Of("a")) << "asked part way";
    sha.Update("");
    sha.Update("bc");
    EXPECT_EQ(sha.HexDigest(), Sha256::Of("abc")) << "and fed on after";
    sha.Reset();
    const std::string chunk(1000, 'a');
    for (int i = 0; i < 1000; ++i)
        sha.Update(chunk);
    EXPECT_EQ(sha.HexDigest(), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(TransferLog, RecordsComeBackAsWrittenWhateverTheirText) {
    TempDir dir;
    const TransferLog log(dir.File("dnc/log"));
    const LogTimePoint end = At(2026y / 12 / 1, 8h + 30min + 5s + 123ms);
    TransferRecord awkward = Record("MILL \"A\"\\1", TransferDirection::Send, "O1234", end);
    awkward.path = "C:\\CNC\\零件 1.nc";
    awkward.reason = std::string("line 3:\r\n\t\"bad\" \\ char \x01\x1f\x7f end", 30) + " 中文";
    TransferRecord plain = Record("LATHE-2", TransferDirection::Receive, "O0012", end + 1ms);
    plain.reason.clear();
    std::string error;
    ASSERT_TRUE(log.Append(awkward, error)) << error;
    ASSERT_TRUE(log.Append(plain, error)) << error;

    const TransferLogContents contents = log.Read();
    EXPECT_EQ(contents.malformed, 0);
    EXPECT_TRUE(contents.problems.empty());
    EXPECT_EQ(Records(contents), (std::vector<TransferRecord>{awkward, plain}));

    const std::string file = ReadBytes(dir.File("dnc/log/transfers-2026-12-01.jsonl"));
    EXPECT_EQ(std::count(file.begin(), file.end(), '\n'), 2) << "one line per record";
    for (const LoggedTransfer& t : contents.transfers) {
        EXPECT_NE(file.find(t.json + "\n"), std::string::npos);
        const auto parsed = nlohmann::json::parse(t.json, nullptr, false);
        ASSERT_TRUE(parsed.is_object()) << t.json;
        EXPECT_EQ(parsed["end"],
                  t.record.end == end ? "2026-12-01T08:30:05.123Z" : "2026-12-01T08:30:05.124Z");
    }
}

TEST(TransferLog, TextThatIsNotUtf8IsReadAsGbk) {
    TempDir dir;
    const TransferLog log(dir.Path());
    TransferRecord r = Record("M1", TransferDirection::Send, "O1", At(2026y / 12 / 1, 0ms));
    r.path = "/mnt/old/\xd6\xd0\xce\xc4.nc"; // "中文" in GBK
    r.reason = "cut \xff";
    std::string error;
    ASSERT_TRUE(log.Append(r, error)) << error;
    const TransferLogContents contents = log.Read();
    ASSERT_EQ(contents.transfers.size(), 1u);
    EXPECT_EQ(contents.transfers[0].record.path, "/mnt/old/中文.nc");
    EXPECT_EQ(contents.transfers[0].record.reason, "cut \xef\xbf\xbd");
    EXPECT_TRUE(nlohmann::json::accept(contents.transfers[0].json));
}

TEST(TransferLog, AHalfLineFromAPowerCutIsSkippedAndCounted) {
    TempDir dir;
    const TransferLog log(dir.Path());
    const LogTimePoint end = At(2026y / 12 / 1, 10h);
    std::string error;
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(log.Append(
            Record("M1", TransferDirection::Send, "O" + std::to_string(i), end + seconds(i)),
            error));
    const std::string path = dir.File("transfers-2026-12-01.jsonl");
    const std::string whole = ReadBytes(path);
    ASSERT_EQ(::truncate(path.c_str(), off_t(whole.size() - 20)), 0);

    TransferLogContents contents = log.Read();
    EXPECT_EQ(contents.transfers.size(), 2u);
    EXPECT_EQ(contents.malformed, 1);

    // The next record starts a line of its own instead of completing the half one.
    ASSERT_TRUE(log.Append(Record("M1", TransferDirection::Send, "O9", end + 9s), error));
    contents = log.Read();
    ASSERT_EQ(contents.transfers.size(), 3u);
    EXPECT_EQ(contents.transfers[2].record.program, "O9");
    EXPECT_EQ(contents.malformed, 1);
}

TEST(TransferLog, LinesThatAreNoRecordAreCountedNotFatal) {
    TempDir dir;
    const TransferLog log(dir.Path());
    std::string error;
    const TransferRecord good =
        Record("M1", TransferDirection::Send, "O1", At(2026y / 12 / 1, 0ms));
    ASSERT_TRUE(log.Append(good, error));
    nlohmann::json j = nlohmann::json::parse(TransferJson(good));
    std::string bad;
    for (const char* key : {"machine", "direction", "start", "end", "result"}) {
        nlohmann::json missing = j;
        missing.erase(key);
        bad += missing.dump() + "\n";
    }
    nlohmann::json wrong = j;
    wrong["bytes"] = -5;
    bad += wrong.dump() + "\n";
    wrong = j;
    wrong["direction"] = "sideways";
    bad += wrong.dump() + "\n";
    wrong = j;
    wrong["end"] = "2026-12-01 00:00";
    bad += wrong.dump() + "\n";
    bad += "[1,2]\n\"text\"\n{\n\n\r\n" + std::string(10000, '[') + "\n";
    nlohmann::json later = j;
    later["operator"] = "SMITH"; // a field from a later version
    bad += later.dump() + "\n";
    WriteBytes(dir.File("transfers-2026-12-01.jsonl"),
               ReadBytes(dir.File("transfers-2026-12-01.jsonl")) + bad);

    const TransferLogContents contents = log.Read();
    EXPECT_EQ(Records(contents), (std::vector<TransferRecord>{good, good}));
    EXPECT_EQ(contents.malformed, 12) << "blank lines are not counted";
}

TEST(TransferLog, EachUtcDayHasItsFileReadInDateOrder) {
    TempDir dir;
    const TransferLog log(dir.Path());
    const LogTimePoint lastMs = At(2026y / 12 / 31, 24h - 1ms);
    const LogTimePoint newYear = At(2027y / 1 / 1, 0ms);
    TransferRecord across = Record("M1", TransferDirection::Receive, "O2", newYear + 5min);
    across.start = lastMs - 10min; // begun the day before: filed by its end
    std::string error;
    ASSERT_TRUE(log.Append(across, error));
    ASSERT_TRUE(log.Append(Record("M1", TransferDirection::Send, "O1", lastMs), error));
    ASSERT_TRUE(log.Append(Record("M1", TransferDirection::Send, "O3", newYear), error));
    WriteBytes(dir.File("transfers-latest.jsonl"), "junk\n");
    WriteBytes(dir.File("notes.txt"), "junk\n");

    std::vector<std::string> files = dir.Entries();
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files,
              (std::vector<std::string>{"notes.txt", "transfers-2026-12-31.jsonl",
                                        "transfers-2027-01-01.jsonl", "transfers-latest.jsonl"}));
    const TransferLogContents contents = log.Read();
    std::vector<std::string> order;
    for (const LoggedTransfer& t : contents.transfers)
        order.push_back(t.record.program);
    EXPECT_EQ(order, (std::vector<std::string>{"O1", "O2", "O3"}));
    EXPECT_EQ(contents.malformed, 0) << "other files are not read";
}

TEST(TransferLog, MissingAndUnwritableFolders) {
    TempDir dir;
    const TransferLogContents none = TransferLog(dir.File("no/such")).Read();
    EXPECT_TRUE(none.transfers.empty());
    EXPECT_TRUE(none.problems.empty()) << "no log yet is not a fault";

    WriteBytes(dir.File("file"), "");
    std::string error;
    EXPECT_FALSE(
        TransferLog(dir.File("file/log"))
            .Append(Record("M1", TransferDirection::Send, "O1", At(2026y / 1 / 1, 0ms)), error));
    EXPECT_NE(error.find("file/log"), std::string::npos) << error;
}

TEST(TransferFilter, PicksByEachField) {
    const LogTimePoint day1 = At(2026y / 12 / 1, 10h);
    const std::vector<TransferRecord> all = {
        Record("M1", TransferDirection::Send, "O1234", day1),
        Record("M1", TransferDirection::Receive, "O0012", day1 + 1h, "cut"),
        Record("M2", TransferDirection::Send, "O12", day1 + 24h, "failed"),
        Record("M2", TransferDirection::Receive, "PART_A1", day1 + 48h),
    };
    auto Programs = [&](const TransferFilter& f) {
        std::vector<std::string> out;
        for (const TransferRecord& r : all)
            if (f.Matches(r))
                out.push_back(r.program);
        return out;
    };
    using Names = std::vector<std::string>;
    const auto Filter = [](auto set) {
        TransferFilter f;
        set(f);
        return f;
    };
    EXPECT_EQ(Programs({}).size(), 4u);
    EXPECT_EQ(Programs(Filter([&](TransferFilter& f) { f.machine = "M2"; })),
              (Names{"O12", "PART_A1"}));
    EXPECT_EQ(
        Programs(Filter([&](TransferFilter& f) { f.direction = TransferDirection::Receive; })),
        (Names{"O0012", "PART_A1"}));
    EXPECT_EQ(Programs(Filter([&](TransferFilter& f) { f.program = "1234"; })), Names{"O1234"});
    EXPECT_EQ(Programs(Filter([&](TransferFilter& f) { f.program = "o12"; })),
              (Names{"O0012", "O12"}))
        << "one program number";
    EXPECT_EQ(Programs(Filter([&](TransferFilter& f) { f.program = "PART_A1"; })),
              Names{"PART_A1"});
    EXPECT_EQ(Programs(Filter([&](TransferFilter& f) { f.result = "cut"; })), Names{"O0012"});
    EXPECT_EQ(Programs(Filter([&](TransferFilter& f) {
                  f.machine = "M1";
                  f.direction = TransferDirection::Send;
              })),
              Names{"O1234"});

    const auto dec2 = ParseTimeSpan("2026-12-02Z");
    ASSERT_TRUE(dec2);
    EXPECT_EQ(Programs(Filter([&](TransferFilter& f) {
                  f.since = dec2->begin;
                  f.until = dec2->end;
              })),
              Names{"O12"});
    EXPECT_EQ(Programs(Filter([&](TransferFilter& f) { f.since = dec2->begin; })),
              (Names{"O12", "PART_A1"}));
    EXPECT_EQ(Programs(Filter(
                  [](TransferFilter& f) { f.until = ParseTimeSpan("2026-12-01T10:00Z")->end; })),
              Names{"O1234"})
        << "until a minute takes in the whole minute";
}

TEST(LogTime, IsoTimesRoundTripToTheMillisecond) {
    const LogTimePoint t = At(2026y / 2 / 28, 23h + 59min + 59s + 7ms) + 600us;
    EXPECT_EQ(IsoUtc(t), "2026-02-28T23:59:59.007Z");
    EXPECT_EQ(ParseIsoUtc("2026-02-28T23:59:59.007Z"), floor<milliseconds>(t));
    EXPECT_EQ(ParseIsoUtc("2026-02-28T23:59:59Z"), At(2026y / 2 / 28, 86399s));
    for (const char* bad : {"2026-02-29T00:00:00Z", "2026-02-28T24:00:00Z", "2026-02-28T23:59:59",
                            "2026-02-28 23:59:59Z", "2026-02-28T23:59:59.Zx", ""})
        EXPECT_FALSE(ParseIsoUtc(bad)) << bad;
}

TEST(LogTime, TypedDatesAreLocalDaysUnlessMarkedUtc) {
    LocalZone zone("Asia/Shanghai");
    const auto day = ParseTimeSpan("2026-12-01");
    ASSERT_TRUE(day);
    EXPECT_EQ(IsoUtc(day->begin), "2026-11-30T16:00:00.000Z");
    EXPECT_EQ(IsoUtc(day->end), "2026-12-01T16:00:00.000Z");
    const auto utc = ParseTimeSpan("2026-12-01Z");
    ASSERT_TRUE(utc);
    EXPECT_EQ(IsoUtc(utc->begin), "2026-12-01T00:00:00.000Z");
    const auto minute = ParseTimeSpan("2026-12-01 08:30");
    ASSERT_TRUE(minute);
    EXPECT_EQ(IsoUtc(minute->begin), "2026-12-01T00:30:00.000Z");
    EXPECT_EQ(minute->end - minute->begin, 60s);
    const auto second = ParseTimeSpan("2026-12-01T08:30:05Z");
    ASSERT_TRUE(second);
    EXPECT_EQ(second->end - second->begin, 1s);
    EXPECT_EQ(LocalTimeText(At(2026y / 12 / 1, 0ms)), "2026-12-01 08:00:00");

    for (const char* bad : {"2026-02-30", "2026-13-01", "2026-1-01", "2026-12-01x",
                            "2026-12-01 8:30", "2026-12-01 08:60", "12/01/2026", "yesterday", ""})
        EXPECT_FALSE(ParseTimeSpan(bad)) << bad;
}

TEST(LogTime, ADayOfAClockChangeIsThatDayNotTwentyFourHours) {
    LocalZone zone("Europe/Berlin");
    const auto spring = ParseTimeSpan("2026-03-29");
    ASSERT_TRUE(spring);
    EXPECT_EQ(spring->end - spring->begin, 23h);
    const auto autumn = ParseTimeSpan("2026-10-25");
    ASSERT_TRUE(autumn);
    EXPECT_EQ(autumn->end - autumn->begin, 25h);
}

} // namespace
