// kxview publishing a live run through a real mosquitto broker, and kxview
// viewing it from elsewhere: every record the publisher logs reaches the
// viewers and scripts, a broker that dies costs the publisher nothing and
// the viewers only what they count, and a viewer the broker refuses says why.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "broker_address.h"
#include "broker_link.h"
#include "child_process.h"
#include "files.h"
#include "frame_format.h"
#include "journal_reader.h"
#include "mqtt_broker.h"

namespace {

using namespace std::chrono_literals;

ChildProcess start_kxview(const ScratchDirectory& dir, std::vector<std::string> args) {
    args.insert(args.begin(), KXVIEW_PATH);
    return ChildProcess(args, {.directory = dir.root(),
                               .environment = {"QT_QPA_PLATFORM=offscreen",
                                               "LSAN_OPTIONS=suppressions=" KX_LSAN_SUPPRESSIONS
                                               ":print_suppressions=0"}});
}

ChildProcess start_kxsim(const ScratchDirectory& dir, int records) {
    return ChildProcess({KXSIM_PATH, "--link", "COM1", "--count", std::to_string(records), "--seed",
                         "5", "--bad", "0.2", "--junk", "0.05"},
                        {.directory = dir.root()});
}

// A recording read through its journal: its records' bytes, in order, and
// its events.
struct Logged {
    std::vector<std::string> records;
    std::vector<bool> good;
    std::vector<JournalEvent> events;
};

Logged read_run(const std::string& recording, const std::string& journal_path) {
    const std::string bytes = read_file(recording);
    Logged run;
    std::FILE* journal = std::fopen(journal_path.c_str(), "rb");
    if (journal == nullptr) return run;
    JournalReading reading;
    read_journal(journal, static_cast<int64_t>(bytes.size()), &reading);
    std::fclose(journal);
    for (const JournalRecord& r : reading.records) {
        if (r.offset + 256 > static_cast<int64_t>(bytes.size())) break;
        run.records.push_back(bytes.substr(static_cast<size_t>(r.offset), 256));
        run.good.push_back(r.good);
    }
    run.events = reading.events;
    return run;
}

int events_of(const Logged& run, const std::string& kind) {
    int count = 0;
    for (const JournalEvent& e : run.events)
        count += e.kind == kind;
    return count;
}

long long lost_in(const Logged& run) {
    long long lost = 0;
    for (const JournalEvent& e : run.events)
        if (e.kind == "lost") lost += std::stoll(e.text);
    return lost;
}

// Where two runs' records first differ (so a failure names a record, not
// megabytes), or -1 when they are the same.
long first_difference(const Logged& a, const Logged& b) {
    for (size_t i = 0; i < std::max(a.records.size(), b.records.size()); ++i)
        if (i >= a.records.size() || i >= b.records.size() || a.records[i] != b.records[i] ||
            a.good[i] != b.good[i])
            return static_cast<long>(i);
    return -1;
}

// The viewer is subscribed once its journal holds its start.
bool viewing(const ScratchDirectory& dir) {
    return read_file(dir / "copy.tsv").find("\tstart\t") != std::string::npos;
}

} // namespace

// Two viewers and a script (mosquitto_sub piped to kxdump, as the manual
// gives it) take exactly the records the publisher logged, good and bad,
// and the viewers lose none.
TEST(KxviewBroker, TwoViewersAndAScriptTakeEveryRecordThePublisherLogs) {
    MqttBroker broker;
    ScratchDirectory bench, first, second;
    const std::string url = broker.url("bench/run");
    ChildProcess viewer1 = start_kxview(first, {url, "--log", "copy.dat"});
    ChildProcess viewer2 = start_kxview(second, {url, "--log", "copy.dat"});
    ASSERT_TRUE(wait_until([&] { return viewing(first) && viewing(second); }, 20s));
    ChildProcess script({"/bin/sh", "-c",
                         "exec mosquitto_sub -h 127.0.0.1 -p " + std::to_string(broker.port()) +
                             " -t bench/run/frames -N > " + bench / "script.dat"});
    ChildProcess sim = start_kxsim(bench, 60);
    ASSERT_TRUE(wait_until([&] { return entry_exists(bench / "COM1"); }, 10s));
    ChildProcess publisher = start_kxview(bench, {"--publish", url});
    EXPECT_EQ(sim.finish(60s).status, 0);
    publisher.send(SIGINT);
    EXPECT_EQ(publisher.finish().status, 0);
    const Logged published = read_run(bench / "varno.dat", bench / "varno.tsv");
    ASSERT_GT(published.records.size(), 20u);
    for (const ScratchDirectory* dir : {&first, &second}) {
        ASSERT_TRUE(wait_until(
            [&] {
                return events_of(read_run(*dir / "copy.dat", *dir / "copy.tsv"),
                                 "publisher-gone") == 1;
            },
            20s));
    }
    viewer1.send(SIGINT);
    viewer2.send(SIGINT);
    EXPECT_EQ(viewer1.finish().status, 0);
    EXPECT_EQ(viewer2.finish().status, 0);
    for (const ScratchDirectory* dir : {&first, &second}) {
        const Logged viewed = read_run(*dir / "copy.dat", *dir / "copy.tsv");
        ASSERT_FALSE(viewed.events.empty());
        EXPECT_EQ(viewed.events[0].text, "kxview " KX_VERSION " " + url);
        EXPECT_EQ(first_difference(viewed, published), -1)
            << viewed.records.size() << " of " << published.records.size();
        EXPECT_EQ(lost_in(viewed), 0);
    }
    std::string all;
    for (const std::string& record : published.records)
        all += record;
    ASSERT_TRUE(
        wait_until([&] { return read_file(bench / "script.dat").size() >= all.size(); }, 20s));
    script.send(SIGTERM);
    script.finish();
    EXPECT_TRUE(read_file(bench / "script.dat") == all);
    ProgramResult decoded =
        run_program({KXDUMP_PATH, "--summary", "-"}, {.in_path = bench / "script.dat"});
    ProgramResult expected = run_program({KXDUMP_PATH, "--summary", bench / "varno.dat"});
    // The same frames and spectrum; only the bytes passed over differ, the
    // stream holding bad records but no noise.
    const std::regex skipped("\"skipped\": [0-9]+");
    EXPECT_EQ(decoded.status, 0);
    EXPECT_EQ(std::regex_replace(decoded.out, skipped, ""),
              std::regex_replace(expected.out, skipped, ""));
}

// The broker killed mid-run and started again: the publisher logs every byte
// the line gave all along, and the viewer says the broker went and came
// back, takes records again, and counts exactly those it never got: what it
// shows and what it counts as lost make up every record published.
TEST(KxviewBroker, ABrokerKilledAndRestartedCostsThePublisherNothingAndTheViewerWhatItCounts) {
    MqttBroker broker;
    ScratchDirectory bench, viewer_dir;
    const std::string url = broker.url("bench/run");
    ChildProcess viewer = start_kxview(viewer_dir, {url, "--log", "copy.dat"});
    ASSERT_TRUE(wait_until([&] { return viewing(viewer_dir); }, 20s));
    run_program({KXSIM_PATH, "--out", bench / "sent.dat", "--count", "120", "--seed", "5", "--bad",
                 "0.2", "--junk", "0.05"});
    ChildProcess sim = start_kxsim(bench, 120);
    ASSERT_TRUE(wait_until([&] { return entry_exists(bench / "COM1"); }, 10s));
    ChildProcess publisher = start_kxview(bench, {"--publish", url});
    auto viewed = [&] { return read_run(viewer_dir / "copy.dat", viewer_dir / "copy.tsv"); };
    ASSERT_TRUE(wait_until([&] { return viewed().records.size() >= 10; }, 30s));
    broker.kill();
    const size_t logged_at_kill = read_file(bench / "varno.dat").size();
    ASSERT_TRUE(wait_until(
        [&] { return read_file(bench / "varno.dat").size() >= logged_at_kill + 10 * 256; }, 30s));
    ASSERT_TRUE(broker.start());
    EXPECT_EQ(sim.finish(60s).status, 0);
    publisher.send(SIGINT);
    EXPECT_EQ(publisher.finish().status, 0);
    const Logged published = read_run(bench / "varno.dat", bench / "varno.tsv");
    const std::string logged = read_file(bench / "varno.dat");
    EXPECT_NE(read_file(bench / "sent.dat").find(logged), std::string::npos);
    EXPECT_GT(logged.size(), logged_at_kill + 10 * 256);
    ASSERT_TRUE(wait_until([&] { return events_of(viewed(), "publisher-gone") == 1; }, 30s));
    viewer.send(SIGINT);
    EXPECT_EQ(viewer.finish().status, 0);
    const Logged shown = viewed();
    EXPECT_EQ(events_of(shown, "broker-gone"), 1);
    EXPECT_EQ(events_of(shown, "broker-back"), 1);
    EXPECT_EQ(static_cast<long long>(shown.records.size()) + lost_in(shown),
              static_cast<long long>(published.records.size()));
    // What it shows is the publisher's records, in order, some left out.
    size_t at = 0;
    for (const std::string& record : shown.records) {
        while (at < published.records.size() && published.records[at] != record)
            ++at;
        ASSERT_LT(at, published.records.size());
        ++at;
    }
}

// A viewer the broker refuses says so and why, and exits 1 without a window;
// one with the right credentials from its password file is let in.
TEST(KxviewBroker, AViewerWithWrongCredentialsIsRefusedWithTheBrokersReason) {
    MqttBroker broker("viewer", "right horse");
    ScratchDirectory dir;
    write_file(dir / "right", "right horse\n");
    write_file(dir / "wrong", "wrong horse\n");
    const std::string url = broker.url("bench/run");
    const std::string name = "mqtt://127.0.0.1:" + std::to_string(broker.port()) + "/bench/run";
    struct Case {
        std::vector<std::string> credentials;
        std::string why;
    };
    const Case cases[] = {
        {{"--username", "viewer", "--password-file", "wrong"}, "Not authorized"},
        {{"--username", "nobody", "--password-file", "right"}, "Not authorized"},
        {{}, "Not authorized"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        std::vector<std::string> args = {url};
        args.insert(args.end(), c.credentials.begin(), c.credentials.end());
        ProgramResult result = start_kxview(dir, args).finish();
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out, "Cannot connect to broker " + name + "\n");
        EXPECT_EQ(result.err,
                  "kxview: " + name + ": the broker refused the connection: " + c.why + "\n");
    }
    ProgramResult missing =
        start_kxview(dir, {url, "--username", "viewer", "--password-file", "none"}).finish();
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "kxview: " + name + ": none: No such file or directory\n");
    ChildProcess let_in = start_kxview(
        dir, {url, "--username", "viewer", "--password-file", "right", "--log", "copy.dat"});
    ASSERT_TRUE(wait_until([&] { return viewing(dir); }, 20s));
    let_in.send(SIGINT);
    EXPECT_EQ(let_in.finish().status, 0);
}

// Every message the link hands to libmosquitto is answered, however soon
// its network thread sends it: once all went out none is counted in flight,
// so a long run never stops sending for room it has. The publisher's records
// go one at a time, as at the line's pace, when the answer can come before
// the hand-over returns.
TEST(BrokerLink, NoMessageStaysCountedInFlightOnceAllWentOut) {
    MqttBroker broker;
    static BrokerLink link; // its ring is megabytes: not on the stack
    BrokerSettings settings;
    std::string why;
    ASSERT_TRUE(parse_broker_address(broker.url("flight"), &settings.address, &why)) << why;
    ASSERT_TRUE(start_broker_link(&link, ROLE_PUBLISHER, settings, &why)) << why;
    ASSERT_EQ(wait_for_broker(&link, 10), 0);
    BrokerMessage message;
    message.kind = MESSAGE_FRAME;
    message.length = FRAME_SIZE;
    for (uint64_t sequence = 1; sequence <= 20000; ++sequence) {
        message.sequence = sequence;
        ring_put(&link.ring, message);
        ASSERT_TRUE(wait_until(
            [&] {
                send_waiting(&link);
                return ring_count(&link.ring) == 0;
            },
            10s));
    }
    EXPECT_TRUE(wait_until([&] { return link.in_flight == 0; }, 10s)) << link.in_flight;
    EXPECT_EQ(link.unsent, 0u);
    stop_broker_link(&link);
}
