#include "replay_positions.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

#include "frame_format.h"
#include "journal_format.h"
#include "kxview_storage.h"

namespace {

constexpr long long DAY = 86'400'000'000LL; // microseconds
constexpr size_t START_SCAN_SLICE = size_t{64} << 20;

ReplayPositions& p() { return kx.positions; }

size_t read_at(RecordReader* reader, unsigned char* into, size_t count) {
    ssize_t got = pread(p().descriptor, into, count, p().scan_next);
    if (got < 0 && reader->error == 0) reader->error = errno;
    if (got < static_cast<ssize_t>(count)) reader->ended = true;
    if (got <= 0) return 0;
    p().scan_next += got;
    return static_cast<size_t>(got);
}

// A journal whose every line was read gives the positions of the records it
// names; one with problems may have lost lines, so only the scan is trusted.
void take_journal(JournalReading* journal) {
    if (!journal->problems.empty()) return;
    for (const JournalRecord& record : journal->records) {
        if (!record.good) continue;
        p().offsets.push_back(record.offset);
        p().times.push_back(record.time);
    }
    journal->records.clear();
    journal->records.shrink_to_fit();
}

// Parses "hh:mm:ss[.fraction]" into microseconds of the day.
bool parse_clock(const std::string& text, long long* microseconds) {
    int64_t at = 0;
    if (!parse_utc("1970-01-01T" + text + "Z", &at) || at >= DAY) return false;
    *microseconds = at;
    return true;
}

} // namespace

void start_positions(std::FILE* recording, JournalReading* journal) {
    struct stat status {};
    int descriptor = recording != nullptr ? fileno(recording) : -1;
    bool regular = descriptor >= 0 && fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode);
    p().descriptor = regular ? descriptor : -1;
    p().size = regular ? status.st_size : 0;
    p().offsets.clear();
    p().times.clear();
    take_journal(journal);
    // Right after a good record the reader stands where a replay from the
    // start would: so the scan goes on from there.
    p().scan_next = p().offsets.empty() ? 0 : p().offsets.back() + FRAME_SIZE;
    p().scanning = regular;
    start_reading_from(&p().scan, read_at, nullptr, READ_AHEAD_MAX, p().scan_next);
}

bool positions_seekable() { return p().descriptor >= 0; }

bool scan_positions(size_t bytes) {
    ReplayPositions& s = p();
    unsigned char frame[FRAME_SIZE];
    int64_t until = s.scan.window_offset + static_cast<int64_t>(s.scan.begin + bytes);
    while (s.scanning && s.scan.window_offset + static_cast<int64_t>(s.scan.begin) < until) {
        int result = next_record(&s.scan, frame);
        if (result == 0) s.offsets.push_back(record_offset(s.scan));
        s.scanning = result != -1;
    }
    return s.scanning;
}

double scan_share() {
    if (!p().scanning || p().size <= 0) return 1.0;
    double at = static_cast<double>(p().scan.window_offset + static_cast<int64_t>(p().scan.begin));
    return std::min(at / static_cast<double>(p().size), 1.0);
}

long long arrival_at(int64_t offset) {
    const std::vector<int64_t>& offsets = p().offsets;
    auto timed_end = offsets.begin() + static_cast<ptrdiff_t>(p().times.size());
    auto found = std::lower_bound(offsets.begin(), timed_end, offset);
    if (found != timed_end && *found == offset) return p().times[found - offsets.begin()];
    // A journal with problems keeps its records: what is usable is used.
    const std::vector<JournalRecord>& records = kx.replay_journal.records;
    auto record = std::lower_bound(records.begin(), records.end(), offset,
                                   [](const JournalRecord& r, int64_t o) { return r.offset < o; });
    return record != records.end() && record->offset == offset ? record->time : NO_TIME;
}

int64_t frame_at_time(long long time) {
    const std::vector<int64_t>& times = p().times;
    auto found = std::lower_bound(times.begin(), times.end(), time);
    return found == times.end() ? -1 : found - times.begin();
}

bool move_reader_to(int64_t number, std::FILE* stream) {
    if (!positions_seekable() || number < 0 || number >= static_cast<int64_t>(p().offsets.size()))
        return false;
    int64_t offset = p().offsets[static_cast<size_t>(number)];
    std::clearerr(stream);
    if (fseeko(stream, offset, SEEK_SET) != 0) return false;
    start_reading(&kx.reader, stream, 0, offset);
    // Every byte before a good record that is not in an earlier one was
    // passed over to reach it.
    count_skipped(&kx.reader, offset - number * FRAME_SIZE);
    return true;
}

bool read_frame_at(int64_t number, unsigned char* frame) {
    if (!positions_seekable() || number < 0 || number >= static_cast<int64_t>(p().offsets.size()))
        return false;
    return pread(p().descriptor, frame, FRAME_SIZE, p().offsets[static_cast<size_t>(number)]) ==
           FRAME_SIZE;
}

int64_t find_start(const std::string& start, std::string* why) {
    if (!positions_seekable()) {
        *why = "a recording read through a pipe plays from its start";
        return -1;
    }
    if (!start.empty() && start[0] == '#') {
        int64_t number = -1;
        auto [end, error] = std::from_chars(start.data() + 1, start.data() + start.size(), number);
        if (error != std::errc() || end != start.data() + start.size() || number < 0) {
            *why = "not a frame number: " + start;
            return -1;
        }
        while (static_cast<int64_t>(p().offsets.size()) <= number &&
               scan_positions(START_SCAN_SLICE)) {
        }
        if (number < static_cast<int64_t>(p().offsets.size())) return number;
        *why = "the recording has " + std::to_string(p().offsets.size()) + " frames";
        return -1;
    }
    if (p().times.empty()) {
        *why = "no arrival times: the recording has no sound journal";
        return -1;
    }
    int64_t time = 0;
    long long clock = 0;
    if (parse_clock(start, &clock)) {
        long long first = p().times.front();
        time = first - first % DAY + clock;
        if (time < first) time += DAY;
    } else if (!parse_utc(start, &time)) {
        *why = "not a time (YYYY-MM-DDThh:mm:ssZ or hh:mm:ss) nor #N: " + start;
        return -1;
    }
    int64_t number = frame_at_time(time);
    if (number < 0) *why = "no frame came at " + start + " or later";
    return number;
}
