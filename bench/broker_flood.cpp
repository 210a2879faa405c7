// A publisher that draws nothing, for the broker's flood figure: the records
// of a recording sent to TOPIC/frames as fast as the broker takes them, or
// at most RATE a second, so that what a viewing kxview keeps up with is
// measured without a publishing kxview's own panel holding the pace on a
// small machine.
//
//     kx_broker_flood_bench [--rate RATE] mqtt://HOST:PORT/TOPIC RECORDING
//
// At QoS 0 nothing tells a publisher that a subscriber falls behind: past
// the broker's queue for it (and the viewer's own ring) records are dropped.
// bench/run gives a rate above the line's flood, so that none lost says the
// viewer keeps up with it.
//
// It goes through kxview's own link, so the messages are kxview's: numbered
// from 1, the checksum judged, the time each was sent, QoS 0, at most as many
// in flight as the link allows; the retained run description and "online"
// on connecting, "offline" at the end. Prints one figure a line, "name
// value", for bench/run; exits 1 when the broker cannot be reached or goes,
// or a record was not handed over.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <thread>

#include "broker_address.h"
#include "broker_link.h"
#include "frame_format.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr double ANSWER_SECONDS = 10;
// The link leaves a record in its ring while its in-flight bound is reached,
// and says nothing when room comes: it is looked at again this much later,
// far less than the bound's worth of records takes to go out.
constexpr auto ROOM_LOOK = std::chrono::microseconds(100);
// A record ahead of its time waits only when it is this far ahead, so that
// each sleep's own cost is spread over many records.
constexpr auto PACE_SLACK = std::chrono::milliseconds(1);

BrokerLink session; // its ring nearly 3 MB: not on the stack

int64_t utc_microseconds() {
    auto now = std::chrono::system_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::microseconds>(now).count();
}

// Until the link has handed what waits in its ring to the library; false
// when the broker goes meanwhile.
bool hand_over() {
    for (;;) {
        send_waiting(&session);
        if (!session.connected) return false;
        if (ring_count(&session.ring) == 0) return true;
        std::this_thread::sleep_for(ROOM_LOOK);
    }
}

// Each record as kxview's publisher puts it in the ring off the line, one in
// the ring at a time, so that the ring never makes room by dropping one;
// `rate` records a second at most (0: no bound).
bool publish_all(std::FILE* recording, double rate, uint64_t* published) {
    BrokerMessage message;
    message.kind = MESSAGE_FRAME;
    message.length = FRAME_SIZE;
    Clock::time_point start = Clock::now();
    while (std::fread(message.bytes, FRAME_SIZE, 1, recording) == 1) {
        if (rate > 0) {
            auto due =
                start + std::chrono::duration_cast<Clock::duration>(
                            std::chrono::duration<double>(static_cast<double>(*published) / rate));
            if (due - Clock::now() > PACE_SLACK) std::this_thread::sleep_until(due);
        }
        message.sequence = *published + 1;
        message.arrival = utc_microseconds();
        message.good = checksum_ok(message.bytes);
        ring_put(&session.ring, message);
        if (!hand_over()) return false;
        ++*published;
    }
    return true;
}

void figure(const char* name, double value) { std::printf("%s %.6g\n", name, value); }

} // namespace

int main(int argc, char** argv) {
    double rate = 0;
    if (argc == 5 && std::string_view(argv[1]) == "--rate") {
        rate = std::atof(argv[2]);
        argv += 2;
        argc -= 2;
    }
    if (argc != 3 || rate < 0) {
        std::fprintf(stderr, "usage: kx_broker_flood_bench [--rate RATE] mqtt://HOST:PORT/TOPIC "
                             "RECORDING\n");
        return 2;
    }
    BrokerSettings settings;
    std::string why;
    if (!parse_broker_address(argv[1], &settings.address, &why)) {
        std::fprintf(stderr, "kx_broker_flood_bench: %s: %s\n", argv[1], why.c_str());
        return 2;
    }
    std::FILE* recording = std::fopen(argv[2], "rb");
    if (recording == nullptr) {
        std::perror(argv[2]);
        return 1;
    }
    session.description = std::string("kx_broker_flood_bench publishing the records of ") + argv[2];
    if (!start_broker_link(&session, ROLE_PUBLISHER, settings, &why)) {
        std::fprintf(stderr, "kx_broker_flood_bench: %s\n", why.c_str());
        return 1;
    }
    int answer = wait_for_broker(&session, ANSWER_SECONDS);
    uint64_t published = 0;
    Clock::time_point start = Clock::now();
    bool through = answer == 0 && publish_all(recording, rate, &published);
    uint64_t dropped = ring_dropped(&session.ring) + session.unsent;
    // The library writes its messages out in order, the disconnect last, and
    // the link's stop waits for that: every record is out when it returns.
    stop_broker_link(&session);
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::fclose(recording);
    auto records = static_cast<double>(published);
    figure("published", records);
    figure("seconds", seconds);
    figure("frames_per_s", records / seconds);
    figure("dropped", static_cast<double>(dropped));
    if (answer != 0)
        std::fprintf(stderr, "kx_broker_flood_bench: %s\n",
                     answer == NO_ANSWER ? "the broker did not answer" : refusal_text(answer));
    else if (!through)
        std::fprintf(stderr, "kx_broker_flood_bench: the broker went after %llu records\n",
                     static_cast<unsigned long long>(published));
    return through && dropped == 0 ? 0 : 1;
}
