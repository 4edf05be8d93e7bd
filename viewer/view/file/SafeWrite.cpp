#include "view/file/SafeWrite.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iterator>
#include <map>
#include <mutex>
#include <set>

namespace kavlo {

namespace {

// ---- The table of temporary files being written, for the signal handler ---------------------
//
// A row goes free -> filling (its owner copies the path) -> opening (the file is being created)
// -> open -> free. The handler marks every row claimed and removes the files of open rows. An
// owner that finds its row claimed while filling creates nothing; one that finds it claimed after
// creating its file removes the file and marks the row settled, which the handler waits for,
// unless that owner is the thread the handler interrupted: that one runs no further, and the
// handler removes its file itself. Rows hold their path in place, so the handler reads no memory
// that a thread could free under it.
enum : int { kFree, kFilling, kOpening, kOpen, kClaimed, kSettled };
constexpr int kRows = 128;
constexpr size_t kPathBytes = 4096;
constexpr int kDying = -2;  // Claim: the process is ending on a signal, write nothing more

struct PendingRow {
    std::atomic<int> state{kFree};
    std::atomic<long> owner{0};  // the thread that fills and opens it
    char path[kPathBytes];
};

long ThreadId() { return ::syscall(SYS_gettid); }
PendingRow g_pending[kRows];
std::atomic<bool> g_dying{false};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<long>::is_always_lock_free &&
                  std::atomic<bool>::is_always_lock_free,
              "the signal handler needs lock-free atomics");

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction g_previous[3];

void RemovePendingOnSignal(int sig) {
    const int savedErrno = errno;
    g_dying.store(true);
    const long self = ThreadId();
    bool waiting[kRows];
    for (int i = 0; i < kRows; ++i) {
        const int old = g_pending[i].state.exchange(kClaimed);
        waiting[i] = old == kOpening && g_pending[i].owner != self;
        if (old == kOpen || old == kOpening) ::unlink(g_pending[i].path);
    }
    // Bounded all the same: a thread stuck in the creation of its file holds up no ending.
    for (int round = 0; round < 5000; ++round) {
        bool any = false;
        for (int i = 0; i < kRows; ++i) any = any || (waiting[i] && g_pending[i].state != kSettled);
        if (!any) break;
        const timespec pause{0, 1000000};
        ::nanosleep(&pause, nullptr);
    }
    // The signal takes its course: the action it had before (by default the end of the process,
    // "killed by the signal"), delivered as this handler returns.
    for (size_t s = 0; s < std::size(kSignals); ++s)
        if (kSignals[s] == sig) ::sigaction(sig, &g_previous[s], nullptr);
    errno = savedErrno;
    ::raise(sig);
}

void InstallSignalHandlers() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction action {};
        action.sa_handler = RemovePendingOnSignal;
        action.sa_flags = SA_RESTART;
        sigemptyset(&action.sa_mask);
        for (const int sig : kSignals) sigaddset(&action.sa_mask, sig);
        for (size_t s = 0; s < std::size(kSignals); ++s) {
            struct sigaction old {};
            if (::sigaction(kSignals[s], nullptr, &old) != 0) continue;
            // An ignored signal stays ignored (a run under nohup).
            if (!(old.sa_flags & SA_SIGINFO) && old.sa_handler == SIG_IGN) continue;
            g_previous[s] = old;
            ::sigaction(kSignals[s], &action, nullptr);
        }
    });
}

// A row for `path`; -1 when none is free or the path does not fit (the file is written all the
// same, without the handler's help), kDying when a signal is ending the process.
int Claim(const std::string& path) {
    if (g_dying) return kDying;
    if (path.size() >= kPathBytes) return -1;
    for (int i = 0; i < kRows; ++i) {
        int expected = kFree;
        if (!g_pending[i].state.compare_exchange_strong(expected, kFilling)) continue;
        std::memcpy(g_pending[i].path, path.c_str(), path.size() + 1);
        g_pending[i].owner = ThreadId();
        expected = kFilling;
        if (!g_pending[i].state.compare_exchange_strong(expected, kOpening)) {
            g_pending[i].state = kSettled;
            return kDying;
        }
        return i;
    }
    return g_dying ? kDying : -1;
}

// After the attempt to create the row's file: false when the handler claimed the row meanwhile
// (the file, if made, is removed here).
bool Opened(int row, bool created) {
    if (row < 0) return true;
    int expected = kOpening;
    if (g_pending[row].state.compare_exchange_strong(expected, created ? kOpen : kFree))
        return true;
    if (created) ::unlink(g_pending[row].path);
    g_pending[row].state = kSettled;
    return false;
}

// After the row's file is renamed or removed. A claimed row stays claimed: the process is ending.
void Release(int row) {
    if (row < 0) return;
    int expected = kOpen;
    g_pending[row].state.compare_exchange_strong(expected, kFree);
}

// ---- Names ------------------------------------------------------------------------------------

// The longest ".tmp-PID-N" after the name, with the leading dot.
constexpr size_t kTempExtra = 1 + 5 + 10 + 1 + 20;

void SplitPath(const std::string& path, std::string& folder, std::string& base) {
    const size_t slash = path.rfind('/');
    folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    base = slash == std::string::npos ? path : path.substr(slash + 1);
}

// The part of a temporary name that stands for the target's name: the name itself when the
// temporary name fits NAME_MAX, else its start (cut between UTF-8 characters) and a hash of the
// whole name.
std::string TempStem(const std::string& base) {
    if (base.size() + kTempExtra <= NAME_MAX) return base;
    uint64_t hash = 14695981039346656037ull;  // FNV-1a
    for (const char c : base) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    size_t cut = NAME_MAX - kTempExtra - 17;
    while (cut > 0 && (static_cast<unsigned char>(base[cut]) & 0xC0) == 0x80) --cut;
    char hex[17];
    for (int i = 0; i < 16; ++i) hex[i] = "0123456789abcdef"[(hash >> (60 - 4 * i)) & 0xF];
    hex[16] = '\0';
    return base.substr(0, cut) + "~" + hex;
}

// The stem and process of a temporary name ".STEM.tmp-PID-N"; false for any other name.
bool ParseTempName(const std::string& name, std::string& stem, long& pid) {
    const size_t at = name.rfind(".tmp-");
    if (name.size() < 2 || name[0] != '.' || at == std::string::npos || at < 2) return false;
    size_t i = at + 5;
    long p = 0;
    size_t digits = 0;
    for (; i < name.size() && name[i] >= '0' && name[i] <= '9'; ++i, ++digits)
        p = p * 10 + (name[i] - '0');
    if (digits == 0 || digits > 10 || i >= name.size() || name[i] != '-') return false;
    size_t rest = 0;
    for (++i; i < name.size() && name[i] >= '0' && name[i] <= '9'; ++i) ++rest;
    if (rest == 0 || i != name.size()) return false;
    stem = name.substr(1, at - 1);
    pid = p;
    return true;
}

bool ProcessRuns(long pid) {
    if (pid <= 0 || pid > INT_MAX) return true;  // no process's number: leave it
    if (pid == static_cast<long>(::getpid())) return true;
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH;
}

const char* KindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "a directory";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISFIFO(mode)) return "a named pipe";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a regular file";
}

std::string SystemReason(int error) { return std::strerror(error); }

}  // namespace

WriteTarget CheckWriteTarget(const std::string& path, std::string& writePath, std::string& reason) {
    writePath = path;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        if (errno == ENOENT) return WriteTarget::New;
        reason = SystemReason(errno);
        return WriteTarget::Refused;
    }
    if (S_ISREG(st.st_mode)) return WriteTarget::Regular;
    if (!S_ISLNK(st.st_mode)) {
        reason = std::string("not a regular file (") + KindOf(st.st_mode) + ")";
        return WriteTarget::Refused;
    }
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved) {
        reason = errno == ENOENT
                     ? std::string("a symbolic link to nothing")
                     : "a symbolic link that cannot be followed: " + SystemReason(errno);
        return WriteTarget::Refused;
    }
    writePath = resolved;
    std::free(resolved);
    if (::stat(writePath.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return WriteTarget::Regular;
    reason = std::string("a symbolic link to ") + KindOf(st.st_mode) + ", not to a regular file";
    return WriteTarget::Refused;
}

std::string TempNameFor(const std::string& path, long pid, uint64_t n) {
    std::string folder, base;
    SplitPath(path, folder, base);
    return folder + "." + TempStem(base) + ".tmp-" + std::to_string(pid) + "-" + std::to_string(n);
}

int RemoveStaleTempFiles(const std::vector<std::string>& targets) {
    std::map<std::string, std::set<std::string>> stems;  // by folder
    for (const std::string& t : targets) {
        std::string writePath, reason, folder, base;
        if (CheckWriteTarget(t, writePath, reason) == WriteTarget::Refused) continue;
        SplitPath(writePath, folder, base);
        stems[folder].insert(TempStem(base));
    }
    int removed = 0;
    for (const auto& [folder, names] : stems) {
        DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
        if (!dir) continue;
        while (const dirent* entry = ::readdir(dir)) {
            std::string stem;
            long pid = 0;
            const std::string name = entry->d_name;
            if (!ParseTempName(name, stem, pid) || !names.count(stem) || ProcessRuns(pid)) continue;
            if (::unlink((folder + name).c_str()) == 0) ++removed;
        }
        ::closedir(dir);
    }
    return removed;
}

SafeFile::~SafeFile() { Discard(); }

bool SafeFile::Open(const std::string& path, std::string& reason) {
    Discard();
    std::string writePath;
    if (CheckWriteTarget(path, writePath, reason) == WriteTarget::Refused) return false;
    static std::atomic<uint64_t> count{0};
    const std::string temp = TempNameFor(writePath, static_cast<long>(::getpid()), count++);
    InstallSignalHandlers();
    const int row = Claim(temp);
    if (row == kDying) {
        reason = "interrupted";
        return false;
    }
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    const int openError = errno;
    if (!Opened(row, fd >= 0)) {
        if (fd >= 0) ::close(fd);
        reason = "interrupted";
        return false;
    }
    if (fd < 0) {
        reason = SystemReason(openError);
        return false;
    }
    fd_ = fd;
    slot_ = row;
    target_ = writePath;
    temp_ = temp;
    return true;
}

bool SafeFile::Write(const void* data, size_t size, std::string& reason) {
    if (fd_ < 0) {
        reason = "the file is not open";
        return false;
    }
    const auto* p = static_cast<const uint8_t*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd_, p, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            reason = SystemReason(errno);
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool SafeFile::Commit(bool replace, bool sync, std::string& reason, bool* exists) {
    if (exists) *exists = false;
    if (fd_ < 0) {
        reason = "the file is not open";
        return false;
    }
    int failure = 0;
    if (sync && ::fsync(fd_) != 0) failure = errno;
    struct stat st {};
    const bool there = ::lstat(target_.c_str(), &st) == 0;
    if (there && !S_ISREG(st.st_mode)) {
        // Something other than a file took the name while this one was written.
        reason = std::string("not a regular file (") + KindOf(st.st_mode) + ")";
        Discard();
        return false;
    }
    if (there && replace) ::fchmod(fd_, st.st_mode & 07777);
    if (::close(fd_) != 0 && failure == 0) failure = errno;
    fd_ = -1;
    if (failure != 0) {
        reason = SystemReason(failure);
        Discard();
        return false;
    }
    int renamed = 0;
    if (replace) {
        renamed = ::rename(temp_.c_str(), target_.c_str());
    } else {
        renamed = ::renameat2(AT_FDCWD, temp_.c_str(), AT_FDCWD, target_.c_str(), RENAME_NOREPLACE);
        if (renamed != 0 && errno == EINVAL) {
            // A file system without the no-replace rename: a hard link refuses to replace too.
            renamed = ::link(temp_.c_str(), target_.c_str());
            if (renamed == 0) ::unlink(temp_.c_str());
        }
    }
    if (renamed != 0) {
        const int why = errno;
        if (exists) *exists = why == EEXIST;
        reason = why == EEXIST ? std::string("the file exists") : SystemReason(why);
        Discard();
        return false;
    }
    temp_.clear();
    Release(slot_);
    slot_ = -1;
    return true;
}

void SafeFile::Discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temp_.empty()) ::unlink(temp_.c_str());
    temp_.clear();
    Release(slot_);
    slot_ = -1;
}

bool WriteFileSafely(const std::string& path, const void* data, size_t size, bool replace,
                     bool sync, std::string& reason, bool* exists) {
    SafeFile file;
    return file.Open(path, reason) && file.Write(data, size, reason) &&
           file.Commit(replace, sync, reason, exists);
}

}  // namespace kavlo
