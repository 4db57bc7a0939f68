// The platform layer on POSIX systems: each call of platform.h made of
// POSIX calls, with the results the Windows side gives where the callers
// rely on them (folders listed in Windows' order, links to folders left
// out, a file's identity from its device and inode) and nothing more. A
// replace is one rename; an interrupt is a signal.

#include "base/platform/platform.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <semaphore.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace {

// Standard descriptors that were closed when the process started. They are
// held open on /dev/null so that no file we open later can take their number
// (a warning must never land in the header), and they count as unavailable.
int std_closed[3];

// The size taken when the last file was opened for reading: asking for it
// right after the open needs no second system call. One per thread, since
// threads open and ask in their own order.
struct opened_size_t {
    int fd;
    uint64_t size;
    uint64_t device, inode;
};
thread_local opened_size_t last_opened = {-1, 0, 0, 0};

// What a started thread runs; pthreads want another function type.
struct thread_start_t {
    platform_thread_function_t function;
    void* argument;
    int spread;           // started away from the starting thread's processor
    cpu_set_t processors; // then free to run on all of these again
};

// The signals that interrupt a run.
const int INTERRUPTS[] = {SIGINT, SIGTERM, SIGHUP};

void interrupt_set(sigset_t* set) {
    sigemptyset(set);
    for (int signal_number : INTERRUPTS)
        sigaddset(set, signal_number);
}

void* run_thread(void* start) {
    thread_start_t what = *(thread_start_t*)start;
    free(start);
    // Interrupts go to the main thread alone, which may be holding them
    // back: a helper thread must not end the process behind its back.
    sigset_t interrupts;
    interrupt_set(&interrupts);
    pthread_sigmask(SIG_BLOCK, &interrupts, nullptr);
    if (what.spread)
        pthread_setaffinity_np(pthread_self(), sizeof what.processors, &what.processors);
    what.function(what.argument);
    return nullptr;
}

platform_handle_t handle_from_fd(int fd) { return (platform_handle_t)fd + 1; }
int fd_from_handle(platform_handle_t handle) { return (int)(handle - 1); }

// One open directory search: every entry is read and sorted when the search
// starts, then handed out one at a time. The entries are large (room for
// any name); the sort moves pointers to them.
struct find_state_t {
    platform_find_entry_t* entries;
    platform_find_entry_t** order;
    size_t count;
    size_t next;
};

// Windows file systems deliver names in this order (upper-cased ASCII, then
// raw bytes); using it here makes the header the same on every machine.
int compare_names(const char* a, const char* b) {
    size_t i = 0;
    for (;; ++i) {
        unsigned char x = (unsigned char)a[i], y = (unsigned char)b[i];
        unsigned char ux = (x >= 'a' && x <= 'z') ? (unsigned char)(x - 32) : x;
        unsigned char uy = (y >= 'a' && y <= 'z') ? (unsigned char)(y - 32) : y;
        if (ux != uy) return ux < uy ? -1 : 1;
        if (x == 0) break;
    }
    return strcmp(a, b);
}

int compare_entries(const void* a, const void* b) {
    return compare_names((*(const platform_find_entry_t* const*)a)->name,
                         (*(const platform_find_entry_t* const*)b)->name);
}

void fill_times(platform_find_entry_t* entry, const struct stat* info) {
    // FILETIME: 100-nanosecond intervals since 1601-01-01 UTC.
    uint64_t seconds = (uint64_t)info->st_mtim.tv_sec + 11644473600ull;
    uint64_t time = seconds * 10000000ull + (uint64_t)info->st_mtim.tv_nsec / 100;
    entry->write_time_low = (uint32_t)time;
    entry->write_time_high = (uint32_t)(time >> 32);
    entry->size_low = (uint32_t)(uint64_t)info->st_size;
    entry->size_high = (uint32_t)((uint64_t)info->st_size >> 32);
}

// Classifies one directory entry. Returns 0 for an entry to leave out: a
// symbolic link to a directory is never listed nor followed, so link cycles
// cannot arise. A link to anything else, dangling included, is a file.
// The walk needs the type alone, which the directory entry gives on most
// file systems: a stat for each of a thousand files cost the run about a
// millisecond. So only links, and entries of unknown type, are asked
// about, and only they carry a size and write time (a file's size is taken
// when it is opened anyway).
int describe_entry(int dir_fd, const struct dirent* item, platform_find_entry_t* entry) {
    if (item->d_type == DT_DIR || item->d_type == DT_REG) {
        entry->attributes = item->d_type == DT_DIR ? PLATFORM_ATTRIBUTE_DIRECTORY : 0;
        return 1;
    }
    const char* name = item->d_name;
    struct stat info;
    if (fstatat(dir_fd, name, &info, AT_SYMLINK_NOFOLLOW) != 0) return 0;
    if (S_ISLNK(info.st_mode)) {
        struct stat target;
        if (fstatat(dir_fd, name, &target, 0) == 0) {
            if (S_ISDIR(target.st_mode)) return 0;
            info = target;
        } else {
            info.st_size = 0;
        }
    }
    entry->attributes = S_ISDIR(info.st_mode) ? PLATFORM_ATTRIBUTE_DIRECTORY : 0;
    fill_times(entry, &info);
    return 1;
}

int add_entry(find_state_t* state, size_t* capacity) {
    if (state->count < *capacity) return 1;
    size_t grown = *capacity ? *capacity * 2 : 64;
    void* entries = realloc(state->entries, grown * sizeof(platform_find_entry_t));
    if (!entries) return 0;
    state->entries = (platform_find_entry_t*)entries;
    *capacity = grown;
    return 1;
}

} // namespace

void platform_init(void) {
    for (int fd = 0; fd < 3; ++fd) {
        if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            std_closed[fd] = 1;
            // The lowest free number is this one.
            open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        }
    }
    // A closed pipe on standard output is a failed write, not a dead process.
    signal(SIGPIPE, SIG_IGN);
}

void platform_exit(uint32_t code) { _exit((int)code); }

void* platform_memory_alloc(uint64_t size) {
    if (size == 0) return nullptr;
    void* block = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return block == MAP_FAILED ? nullptr : block;
}

void platform_memory_free(void* block, uint64_t size) {
    if (block) munmap(block, size);
}

platform_handle_t platform_thread_start(platform_thread_function_t function, void* argument) {
    thread_start_t* start = (thread_start_t*)malloc(sizeof(thread_start_t));
    if (!start) return PLATFORM_INVALID_HANDLE;
    start->function = function;
    start->argument = argument;
    start->spread = 0;
    // Left to itself, Linux tends to queue a new thread on the processor of
    // the thread that started it, which is busy, and moves it to an idle one
    // only milliseconds later: as long as our whole run. So the thread
    // starts on another processor, and then may go anywhere again.
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0) {
        free(start);
        return PLATFORM_INVALID_HANDLE;
    }
    const int here = sched_getcpu();
    if (here >= 0 && here < CPU_SETSIZE &&
        sched_getaffinity(0, sizeof start->processors, &start->processors) == 0 &&
        CPU_COUNT(&start->processors) > 1 && CPU_ISSET(here, &start->processors)) {
        cpu_set_t elsewhere = start->processors;
        CPU_CLR(here, &elsewhere);
        start->spread = pthread_attr_setaffinity_np(&attributes, sizeof elsewhere, &elsewhere) == 0;
    }
    pthread_t thread;
    const int failed = pthread_create(&thread, &attributes, run_thread, start);
    pthread_attr_destroy(&attributes);
    if (failed) {
        free(start);
        return PLATFORM_INVALID_HANDLE;
    }
    static_assert(sizeof(pthread_t) <= sizeof(platform_handle_t), "a thread fits a handle");
    return (platform_handle_t)thread;
}

void platform_thread_join(platform_handle_t thread) { pthread_join((pthread_t)thread, nullptr); }

uint32_t platform_processor_count(void) {
    // The processors this process may use (taskset, containers), not all
    // the machine has.
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return (uint32_t)CPU_COUNT(&set);
    long online = sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? (uint32_t)online : 1;
}

void platform_thread_yield(void) { sched_yield(); }

void platform_thread_nap(void) {
    const struct timespec nap = {0, 200000};
    nanosleep(&nap, nullptr);
}

platform_handle_t platform_semaphore_create(void) {
    sem_t* semaphore = (sem_t*)malloc(sizeof(sem_t));
    if (!semaphore) return PLATFORM_INVALID_HANDLE;
    if (sem_init(semaphore, 0, 0) != 0) {
        free(semaphore);
        return PLATFORM_INVALID_HANDLE;
    }
    return (platform_handle_t)semaphore;
}

void platform_semaphore_release(platform_handle_t semaphore, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i)
        sem_post((sem_t*)semaphore);
}

void platform_semaphore_wait(platform_handle_t semaphore, uint32_t milliseconds) {
    struct timespec deadline;
    clock_gettime(CLOCK_REALTIME, &deadline);
    deadline.tv_nsec += (long)(milliseconds % 1000) * 1000000;
    deadline.tv_sec += milliseconds / 1000 + deadline.tv_nsec / 1000000000;
    deadline.tv_nsec %= 1000000000;
    while (sem_timedwait((sem_t*)semaphore, &deadline) != 0 && errno == EINTR) {
    }
}

void platform_semaphore_free(platform_handle_t semaphore) {
    sem_destroy((sem_t*)semaphore);
    free((sem_t*)semaphore);
}

const uint16_t* platform_command_line(void) {
    // The shell has split the arguments already; there is no wide text.
    static const uint16_t empty[1] = {0};
    return empty;
}

uint32_t platform_module_path(char* buffer, uint32_t buffer_size) {
    if (buffer_size == 0) return 0;
    ssize_t n = readlink("/proc/self/exe", buffer, buffer_size);
    if (n <= 0) {
        memset(buffer, 0, buffer_size);
        return 0;
    }
    if ((size_t)n >= buffer_size) {
        buffer[buffer_size - 1] = 0;
        return buffer_size;
    }
    buffer[n] = 0;
    return (uint32_t)n;
}

platform_handle_t platform_find_first(const char* pattern, platform_find_entry_t* entry) {
    // The pattern is always "<directory>/*": enumerate the directory.
    char path[4096];
    size_t length = strlen(pattern);
    if (length < 2 || length >= sizeof path || strcmp(pattern + length - 2, "/*") != 0) {
        errno = length >= sizeof path ? ENAMETOOLONG : EINVAL;
        return PLATFORM_INVALID_HANDLE;
    }
    memcpy(path, pattern, length - 1);
    path[length - 1] = 0; // keep the slash: "" must stay the root, not the cwd
    int dir_fd = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir_fd < 0) return PLATFORM_INVALID_HANDLE;
    DIR* dir = fdopendir(dir_fd);
    if (!dir) {
        close(dir_fd);
        return PLATFORM_INVALID_HANDLE;
    }
    find_state_t* state = (find_state_t*)calloc(1, sizeof(find_state_t));
    size_t capacity = 0;
    int ok = state != nullptr;
    errno = 0;
    for (struct dirent* item; ok && (item = readdir(dir)) != nullptr; errno = 0) {
        if (strlen(item->d_name) >= sizeof entry->name) continue;
        ok = add_entry(state, &capacity);
        if (!ok) break;
        platform_find_entry_t* slot = &state->entries[state->count];
        // All but the name's unused room, which nobody reads.
        *slot = platform_find_entry_t{0, 0, 0, 0, 0, {0}};
        strcpy(slot->name, item->d_name);
        if (describe_entry(dir_fd, item, slot)) state->count += 1;
    }
    // A listing that fails midway is no listing: the directory is said to
    // be unsearchable rather than taken for one with fewer entries.
    const int failed_midway = ok && errno != 0;
    const int listing_error = errno;
    closedir(dir);
    if (failed_midway) {
        free(state->entries);
        free(state);
        errno = listing_error;
        return PLATFORM_INVALID_HANDLE;
    }
    if (ok && state->count != 0) {
        state->order = (platform_find_entry_t**)malloc(state->count * sizeof *state->order);
        ok = state->order != nullptr;
    }
    if (!ok || state->count == 0) {
        if (state) free(state->entries);
        free(state);
        // Not even "." was left: the directory went away meanwhile.
        errno = ok ? ENOENT : ENOMEM;
        return PLATFORM_INVALID_HANDLE;
    }
    for (size_t i = 0; i < state->count; ++i)
        state->order[i] = &state->entries[i];
    qsort(state->order, state->count, sizeof *state->order, compare_entries);
    *entry = *state->order[0];
    state->next = 1;
    return (platform_handle_t)state;
}

int platform_find_next(platform_handle_t search, platform_find_entry_t* entry) {
    find_state_t* state = (find_state_t*)search;
    if (state->next >= state->count) return 0;
    *entry = *state->order[state->next++];
    return 1;
}

void platform_find_close(platform_handle_t search) {
    find_state_t* state = (find_state_t*)search;
    free(state->order);
    free(state->entries);
    free(state);
}

namespace {

// Closes a file just opened that is refused: no regular file (a device, a
// FIFO), or the OS's reason for what failed after the open.
platform_handle_t refuse_opened(int fd, const struct stat& info) {
    const int error = errno;
    close(fd);
    errno = S_ISREG(info.st_mode) ? error : (int)PLATFORM_ERROR_NOT_A_FILE;
    return PLATFORM_INVALID_HANDLE;
}

} // namespace

platform_handle_t platform_file_open_read(const char* path, int keep_writers_out) {
    // Non-blocking, so that opening a FIFO cannot hang; only regular files
    // are admitted, so nothing but a file's bytes is ever read.
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return PLATFORM_INVALID_HANDLE;
    struct stat info = {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        (keep_writers_out && flock(fd, LOCK_SH | LOCK_NB) != 0))
        return refuse_opened(fd, info);
    last_opened =
        opened_size_t{fd, (uint64_t)info.st_size, (uint64_t)info.st_dev, (uint64_t)info.st_ino};
    return handle_from_fd(fd);
}

platform_handle_t platform_file_create(const char* path, platform_create_t disposition) {
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK;
    if (disposition == PLATFORM_CREATE_NEW) flags |= O_EXCL;
    int fd = open(path, flags, 0666);
    if (fd < 0) return PLATFORM_INVALID_HANDLE;
    // The lock stands in for share mode 0: while we write, our own readers and
    // writers are kept out. The file is emptied only once we hold it.
    struct stat info = {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || flock(fd, LOCK_EX | LOCK_NB) != 0 ||
        ftruncate(fd, 0) != 0) {
        // A name this call made exclusively is ours to remove: left, it
        // would only wait for a later run's sweep.
        if (disposition == PLATFORM_CREATE_NEW && S_ISREG(info.st_mode)) unlink(path);
        return refuse_opened(fd, info);
    }
    int status = fcntl(fd, F_GETFL);
    if (status != -1) fcntl(fd, F_SETFL, status & ~O_NONBLOCK);
    return handle_from_fd(fd);
}

platform_handle_t platform_file_create_temporary(const char* path) {
    return platform_file_create(path, PLATFORM_CREATE_NEW);
}

int platform_file_size(platform_handle_t file, uint64_t* size) {
    if (fd_from_handle(file) == last_opened.fd) {
        *size = last_opened.size;
        return 1;
    }
    struct stat info;
    if (fstat(fd_from_handle(file), &info) != 0) return 0;
    *size = (uint64_t)info.st_size;
    return 1;
}

int platform_file_read(platform_handle_t file, void* buffer, uint32_t n, uint32_t* read_count) {
    ssize_t got;
    do
        got = read(fd_from_handle(file), buffer, n);
    while (got < 0 && errno == EINTR);
    *read_count = got > 0 ? (uint32_t)got : 0;
    return got >= 0;
}

int platform_file_write(platform_handle_t file, const void* bytes, uint32_t n, uint32_t* written) {
    ssize_t put;
    do
        put = write(fd_from_handle(file), bytes, n);
    while (put < 0 && errno == EINTR);
    *written = put > 0 ? (uint32_t)put : 0;
    return put >= 0;
}

void platform_file_close(platform_handle_t file) {
    if (fd_from_handle(file) == last_opened.fd) last_opened.fd = -1;
    close(fd_from_handle(file));
}

int platform_file_replace(const char* from, const char* to, const char* backup) {
    (void)backup; // a rename never stops halfway
    return rename(from, to) == 0;
}

int platform_file_delete(const char* path) { return unlink(path) == 0; }

namespace {

platform_path_kind_t kind_of(mode_t mode) {
    if (S_ISREG(mode)) return PLATFORM_PATH_FILE;
    if (S_ISDIR(mode)) return PLATFORM_PATH_DIRECTORY;
    return PLATFORM_PATH_DEVICE;
}

} // namespace

int platform_path_info(const char* path, platform_path_info_t* info) {
    struct stat found;
    if (stat(path, &found) == 0) {
        *info = platform_path_info_t{kind_of(found.st_mode), (uint32_t)found.st_nlink,
                                     (uint64_t)found.st_dev, (uint64_t)found.st_ino};
        return 1;
    }
    if (errno != ENOENT) return 0;
    *info = platform_path_info_t{PLATFORM_PATH_MISSING, 0, 0, 0};
    return 1;
}

int platform_file_id(platform_handle_t file, uint64_t* volume, uint64_t* index) {
    if (fd_from_handle(file) == last_opened.fd) {
        *volume = last_opened.device;
        *index = last_opened.inode;
        return 1;
    }
    struct stat info;
    if (fstat(fd_from_handle(file), &info) != 0) return 0;
    *volume = (uint64_t)info.st_dev;
    *index = (uint64_t)info.st_ino;
    return 1;
}

uint32_t platform_path_resolve(const char* path, char* out, uint32_t capacity) {
    char current[4096], target[4096];
    const size_t given = strlen(path);
    if (given >= sizeof current) {
        errno = (int)PLATFORM_ERROR_PATH_TOO_LONG;
        return 0;
    }
    memcpy(current, path, given + 1);
    // As many links in a row as the kernel itself follows.
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info;
        if (lstat(current, &info) != 0 || !S_ISLNK(info.st_mode)) {
            size_t length = strlen(current);
            if (length + 1 > capacity) {
                errno = (int)PLATFORM_ERROR_PATH_TOO_LONG;
                return 0;
            }
            memcpy(out, current, length + 1);
            return (uint32_t)length;
        }
        ssize_t n = readlink(current, target, sizeof target);
        if (n <= 0 || (size_t)n >= sizeof target) {
            if (n > 0) errno = (int)PLATFORM_ERROR_PATH_TOO_LONG;
            return 0;
        }
        target[n] = 0;
        // A relative target is read from the link's own directory.
        char* slash = strrchr(current, '/');
        size_t keep = target[0] == '/' || !slash ? 0 : (size_t)(slash - current) + 1;
        if (keep + (size_t)n + 1 > sizeof current) {
            errno = (int)PLATFORM_ERROR_PATH_TOO_LONG;
            return 0;
        }
        memcpy(current + keep, target, (size_t)n + 1);
    }
    errno = ELOOP;
    return 0;
}

uint32_t platform_path_full(const char* path, char* out, uint32_t capacity) {
    char joined[8192];
    size_t n = 0;
    if (path[0] != '/') {
        if (!getcwd(joined, sizeof joined - 1)) return 0;
        n = strlen(joined);
        joined[n++] = '/';
    }
    const size_t given = strlen(path);
    if (n + given + 1 > sizeof joined) {
        errno = (int)PLATFORM_ERROR_PATH_TOO_LONG;
        return 0;
    }
    memcpy(joined + n, path, given + 1);
    // Each name is written after a '/'; ".." takes the last name back off.
    uint32_t length = 0;
    for (const char* p = joined; *p != 0;) {
        while (*p == '/')
            ++p;
        const char* name = p;
        while (*p != 0 && *p != '/')
            ++p;
        const size_t size = (size_t)(p - name);
        if (size == 0 || (size == 1 && name[0] == '.')) continue;
        if (size == 2 && name[0] == '.' && name[1] == '.') {
            while (length != 0 && out[length - 1] != '/')
                --length;
            if (length != 0) --length;
            continue;
        }
        if (length + 1 + size + 1 > capacity) {
            errno = (int)PLATFORM_ERROR_PATH_TOO_LONG;
            return 0;
        }
        out[length++] = '/';
        memcpy(out + length, name, size);
        length += (uint32_t)size;
    }
    if (length == 0) {
        if (capacity < 2) {
            errno = (int)PLATFORM_ERROR_PATH_TOO_LONG;
            return 0;
        }
        out[length++] = '/';
    }
    out[length] = 0;
    return length;
}

platform_handle_t platform_file_open_write(const char* path, platform_path_kind_t* kind) {
    int fd;
    do
        fd = open(path, O_WRONLY | O_CLOEXEC | O_NOCTTY);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) return PLATFORM_INVALID_HANDLE;
    struct stat info;
    if (fstat(fd, &info) != 0) {
        close(fd);
        return PLATFORM_INVALID_HANDLE;
    }
    *kind = kind_of(info.st_mode);
    return handle_from_fd(fd);
}

int platform_file_reserve(platform_handle_t file, uint64_t size) {
    // posix_fallocate returns its error rather than setting errno; a file
    // system without it (EOPNOTSUPP, EINVAL) reserves nothing, as before.
    const int error = posix_fallocate(fd_from_handle(file), 0, (off_t)size);
    if (error == 0 || error == EOPNOTSUPP || error == EINVAL) return 1;
    errno = error;
    return 0;
}

int platform_file_truncate(platform_handle_t file, uint64_t size) {
    return ftruncate(fd_from_handle(file), (off_t)size) == 0;
}

void platform_file_lock(platform_handle_t file) {
    // A signal that ends the wait ends the run (the interrupt handler
    // raises it again); any other failure means no locks here.
    while (flock(fd_from_handle(file), LOCK_EX) != 0 && errno == EINTR) {
    }
}

void platform_file_unlock(platform_handle_t file) { flock(fd_from_handle(file), LOCK_UN); }

void platform_file_attributes_like(platform_handle_t file, const char* model_path) {
    struct stat info;
    if (stat(model_path, &info) != 0) return;
    // The owner first: a change of owner clears the set-user-id bits the
    // mode then sets again. Only root may give a file away; for others the
    // owner is theirs already, and a group they are not in stays as it is.
    const int fd = fd_from_handle(file);
    if (fchown(fd, info.st_uid, info.st_gid) != 0) (void)!fchown(fd, (uid_t)-1, info.st_gid);
    fchmod(fd, info.st_mode & 07777);
}

namespace {

// The file an interrupt removes: written before it is armed, read by the
// handler only while armed.
char interrupt_path[4096];
volatile sig_atomic_t interrupt_armed;
// The mask to go back to when interrupts are no longer held.
sigset_t interrupts_held_from;

void on_interrupt(int signal_number) {
    // unlink and raise are safe in a handler; the handler is reset to the
    // default on entry, so the raise ends the process as the signal would.
    if (interrupt_armed) unlink(interrupt_path);
    raise(signal_number);
}

void catch_interrupts(void) {
    static int caught;
    if (caught) return;
    caught = 1;
    for (int signal_number : INTERRUPTS) {
        struct sigaction action = {}, previous = {};
        action.sa_handler = on_interrupt;
        action.sa_flags = (int)SA_RESETHAND;
        sigemptyset(&action.sa_mask);
        // A signal the caller ignores (nohup, a background job) stays ignored.
        if (sigaction(signal_number, &action, &previous) == 0 && previous.sa_handler == SIG_IGN)
            sigaction(signal_number, &previous, nullptr);
    }
}

} // namespace

void platform_remove_on_interrupt(const char* path) {
    interrupt_armed = 0;
    __atomic_signal_fence(__ATOMIC_SEQ_CST);
    if (!path || strlen(path) >= sizeof interrupt_path) return;
    catch_interrupts();
    strcpy(interrupt_path, path);
    __atomic_signal_fence(__ATOMIC_SEQ_CST);
    interrupt_armed = 1;
}

void platform_interrupts_hold(int hold) {
    const int error = errno;
    sigset_t interrupts;
    interrupt_set(&interrupts);
    // Blocked, a signal waits; set free, it is delivered before the call
    // returns, so it acts right after the step it waited for.
    if (hold)
        pthread_sigmask(SIG_BLOCK, &interrupts, &interrupts_held_from);
    else
        pthread_sigmask(SIG_SETMASK, &interrupts_held_from, nullptr);
    errno = error;
}

int platform_process_gone(uint32_t process) {
    // 0 and ids past the largest pid_t would name a process group, or
    // every process: never asked about.
    if (process == 0 || process > (uint32_t)INT32_MAX) return 0;
    return kill((pid_t)process, 0) != 0 && errno == ESRCH;
}

uint32_t platform_last_error(void) { return (uint32_t)errno; }

void platform_set_error(uint32_t error) { errno = (int)error; }

int platform_error_is_resource(uint32_t error) {
    return error == EMFILE || error == ENFILE || error == ENOMEM;
}

uint32_t platform_error_text(uint32_t error, char* buffer, uint32_t capacity) {
    if (capacity == 0) return 0;
    // The GNU strerror_r may hand back a text of its own instead of filling
    // the buffer.
    const char* text = strerror_r((int)error, buffer, capacity);
    size_t length = strlen(text);
    if (length >= capacity) length = capacity - 1;
    if (text != buffer) memmove(buffer, text, length);
    buffer[length] = 0;
    return (uint32_t)length;
}

int platform_error_is_exists(uint32_t error) { return error == EEXIST; }

int platform_error_is_denied(uint32_t error) {
    return error == EACCES || error == EPERM || error == EROFS;
}

int platform_error_is_busy(uint32_t error) {
    (void)error; // the advisory locks that stand in for sharing never refuse a writer's open
    return 0;
}

uint32_t platform_process_id(void) { return (uint32_t)getpid(); }

int platform_console_write(platform_handle_t handle, const void* bytes, uint64_t length) {
    (void)handle;
    (void)bytes;
    (void)length;
    return -1; // a terminal takes UTF-8 bytes as they are
}

uint64_t platform_milliseconds(void) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (uint64_t)now.tv_sec * 1000 + (uint64_t)now.tv_nsec / 1000000;
}

platform_handle_t platform_std_handle(platform_std_t which) {
    int fd = which == PLATFORM_STD_OUTPUT ? 1 : 2;
    if (std_closed[fd] || fcntl(fd, F_GETFD) == -1) return PLATFORM_INVALID_HANDLE;
    return handle_from_fd(fd);
}
