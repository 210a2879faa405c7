#include "dump_journal.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

#include "journal_format.h"

namespace {

constexpr const char* TOOL = "kxdump";

// The recording's length, which no record in the journal may pass; -1 for a
// pipe, whose length cannot be told before it is read.
int64_t recording_size(std::FILE* recording) {
    struct stat status;
    if (fstat(fileno(recording), &status) != 0 || !S_ISREG(status.st_mode)) return -1;
    return static_cast<int64_t>(status.st_size);
}

bool same_file(std::FILE* a, std::FILE* b) {
    struct stat first, second;
    return fstat(fileno(a), &first) == 0 && fstat(fileno(b), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

int no_journal(const JournalChoice& choice, const std::string& why) {
    if (choice.optional) return 0;
    std::fprintf(stderr, "%s: %s needs a journal, and %s: name one with --journal FILE\n", TOOL,
                 choice.option, why.c_str());
    return 2;
}

// Opens the journal; null, with the exit status in `status`, when there is
// none to open.
std::FILE* open_journal(const JournalChoice& choice, const std::string& name, int* status) {
    bool beside = !choice.named->has_value();
    if (beside && *choice.recording == "-") {
        *status = no_journal(choice, "standard input has none beside it");
        return nullptr;
    }
    std::FILE* journal = std::fopen(name.c_str(), "r");
    if (journal == nullptr && beside && errno == ENOENT) {
        *status = no_journal(choice, "there is no " + name + " beside the recording");
    } else if (journal == nullptr) {
        std::fprintf(stderr, "%s: cannot open %s: %s\n", TOOL, name.c_str(), std::strerror(errno));
        *status = 1;
    } else if (same_file(journal, choice.recording_file)) {
        std::fclose(journal);
        *status = no_journal(choice, name + " is the recording itself");
        return nullptr;
    }
    return journal;
}

} // namespace

int load_journal(const JournalChoice& choice, JournalReading* reading, std::string* name) {
    *name = choice.named->has_value() ? **choice.named : journal_path_for(*choice.recording);
    int status = 0;
    std::FILE* journal = open_journal(choice, *name, &status);
    if (journal == nullptr && status == 0) name->clear();
    if (journal == nullptr) return status;
    read_journal(journal, recording_size(choice.recording_file), reading);
    std::fclose(journal);
    for (const std::string& problem : reading->problems)
        std::fprintf(stderr, "%s: %s: %s\n", TOOL, name->c_str(), problem.c_str());
    if (reading->problems.empty() || !reading->records.empty() || !reading->events.empty())
        return 0;
    std::fprintf(stderr, "%s: %s: not a line of it is usable\n", TOOL, name->c_str());
    return 1;
}
