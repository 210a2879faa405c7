#include "broker_start.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "broker_link.h"
#include "earlier_log.h"
#include "journal_format.h"
#include "kxview_storage.h"
#include "runtime.h"

namespace {

// Long enough for a broker across a network to answer; one that does not is
// not yet there, and the viewer starts and waits for it on its panel.
constexpr double FIRST_ANSWER_SECONDS = 3.0;

// The retained description of the run, for whoever subscribes later.
std::string run_description(const BrokerSettings& settings) {
    const std::string& topic = settings.address.topic;
    return "kxview " KX_VERSION " publishing the records of COM1 19200 8N1\n"
           "started " +
           utc_text(UtcMicroseconds()) + "\nrecords " + topic + std::string(FRAMES_TOPIC) +
           ": 256 bytes each; user properties seq, time, checksum, skipped\n"
           "journal " +
           topic + std::string(JOURNAL_TOPIC) + ": the run's journal lines\n";
}

bool start_link(const BrokerCommandLine& line, int role) {
    std::string why;
    if (start_broker_link(&kx.broker, role, line.settings, &why)) return true;
    std::printf("Cannot connect to broker %s\n", broker_name(line.settings).c_str());
    std::fprintf(stderr, "kxview: %s: %s\n", broker_name(line.settings).c_str(), why.c_str());
    return false;
}

// The copy keeps the raw log's ways: an earlier one is moved aside, never
// emptied, and a journal that cannot be created leaves the copy alone.
bool open_copy(const std::string& path, std::FILE** log, std::FILE** journal) {
    std::string why;
    if (move_earlier_log_aside(path.c_str(), &why)) *log = std::fopen(path.c_str(), "wb");
    if (*log == nullptr) {
        if (why.empty()) why = std::strerror(errno);
        std::printf("Cannot create raw log %s\n", path.c_str());
        std::fprintf(stderr, "kxview: %s: %s\n", path.c_str(), why.c_str());
        return false;
    }
    std::string journal_path = journal_path_for(path);
    *journal = std::fopen(journal_path.c_str(), "wb");
    if (*journal == nullptr)
        std::fprintf(stderr, "kxview: %s: %s\n", journal_path.c_str(), std::strerror(errno));
    return true;
}

} // namespace

bool start_publishing(const BrokerCommandLine& line) {
    kx.broker.description = run_description(line.settings);
    return start_link(line, ROLE_PUBLISHER);
}

bool start_viewing(const BrokerCommandLine& line, std::FILE** log, std::FILE** journal) {
    if (!start_link(line, ROLE_VIEWER)) return false;
    int answer = wait_for_broker(&kx.broker, FIRST_ANSWER_SECONDS);
    if (answer > 0) {
        std::string name = broker_name(line.settings);
        std::printf("Cannot connect to broker %s\n", name.c_str());
        std::fprintf(stderr, "kxview: %s: the broker refused the connection: %s\n", name.c_str(),
                     refusal_text(answer));
    } else if (line.log.empty() || open_copy(line.log, log, journal)) {
        return true;
    }
    stop_broker_link(&kx.broker);
    return false;
}
