// File, directory search and library services.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fnmatch.h>
#include <string>
#include <thread>
#include <vector>

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "host_groups.h"
#include "host_handles.h"
#include "platform/codepage.h"
#include "platform/filetime.h"
#include "product/module_abi.h"

namespace korv::host {
namespace {

struct HostFile {
    explicit HostFile(int f) : fd(f) {}
    HostFile(const HostFile&) = delete;
    HostFile& operator=(const HostFile&) = delete;
    ~HostFile() { ::close(fd); }
    int fd;
};

struct HostFind {
    std::string directory;
    std::string pattern;
    std::vector<std::string> names;  // matching entries, taken from the front
    size_t next = 0;
};

struct HostLibrary {
    explicit HostLibrary(void* h) : handle(h) {}
    HostLibrary(const HostLibrary&) = delete;
    HostLibrary& operator=(const HostLibrary&) = delete;
    ~HostLibrary() { ::dlclose(handle); }
    void* handle;
};

HandleTable<HostFile> g_files;
HandleTable<HostFind> g_finds;
HandleTable<HostLibrary> g_libraries;

// A file another writer holds is retried for a while, as a busy file is.
constexpr int kBusyRetries = 20;
constexpr auto kBusyPause = std::chrono::milliseconds(25);

intptr_t OpenPath(const std::string& path, int flags, intptr_t* out) {
    for (int attempt = 0;; ++attempt) {
        const int fd = ::open(path.c_str(), flags | O_CLOEXEC, 0644);
        if (fd < 0) return kResultFailed;
        if ((flags & O_ACCMODE) == O_RDONLY || ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            *out = g_files.Add(std::make_shared<HostFile>(fd));
            return kResultOk;
        }
        ::close(fd);
        if (errno != EWOULDBLOCK || attempt >= kBusyRetries) return kResultFailed;
        std::this_thread::sleep_for(kBusyPause);
    }
}

intptr_t Open(const intptr_t* a) {
    if (a[0] == 0 || a[3] == 0) return kResultNullPointer;
    int flags = a[1] == kHostAccessReadWrite ? O_RDWR : O_RDONLY;
    if (a[2] == kHostCreateAlways) flags |= O_CREAT | O_TRUNC;
    if (a[2] == kHostOpenAlways) flags |= O_CREAT;
    if ((flags & O_CREAT) && (flags & O_ACCMODE) == O_RDONLY) flags = (flags & ~O_ACCMODE) | O_RDWR;
    return OpenPath(PathArg(a[0]), flags, Ptr<intptr_t>(a[3]));
}

intptr_t TempFile(const intptr_t* a) {
    if (a[0] == 0) return kResultNullPointer;
    const char* dir = std::getenv("TMPDIR");
    std::string pattern = std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/lvmXXXXXX";
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) return kResultFailed;
    if (a[1] != 0) {
        const std::u16string wide = platform::utf8_to_utf16(pattern);
        if (a[2] <= 0 || wide.size() >= static_cast<size_t>(a[2])) {
            ::close(fd);
            ::unlink(pattern.c_str());
            return kResultFailed;
        }
        std::copy(wide.begin(), wide.end(), Ptr<char16_t>(a[1]));
        Ptr<char16_t>(a[1])[wide.size()] = u'\0';
    }
    *Ptr<intptr_t>(a[0]) = g_files.Add(std::make_shared<HostFile>(fd));
    return kResultOk;
}

intptr_t ReadWrite(bool write, const intptr_t* a) {
    const auto file = g_files.Get(a[0]);
    if (!file) return kResultFailed;
    if (a[1] == 0 && a[2] != 0) return kResultNullPointer;
    const auto position = static_cast<int64_t>(a[3]);
    if (position != -1 && (position < 0 || ::lseek(file->fd, position, SEEK_SET) < 0)) return kResultSeekFailed;
    size_t done = 0;
    const auto size = static_cast<size_t>(static_cast<uint32_t>(a[2]));
    while (done < size) {
        const ssize_t n = write ? ::write(file->fd, Ptr<const char>(a[1]) + done, size - done)
                                : ::read(file->fd, Ptr<char>(a[1]) + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return kResultFailed;
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    if (a[4] != 0) *Ptr<uint32_t>(a[4]) = static_cast<uint32_t>(done);
    return kResultOk;
}

void FillFind(const std::string& dir, const std::string& name, HostFindData& out) {
    out = HostFindData{};
    struct stat st{};
    if (::stat((dir + "/" + name).c_str(), &st) == 0) {
        out.attributes = S_ISDIR(st.st_mode) ? kHostAttrDirectory : 0;
        out.size = static_cast<uint64_t>(st.st_size);
        out.write_time = platform::filetime_from_unix(st.st_mtim.tv_sec, static_cast<uint32_t>(st.st_mtim.tv_nsec));
    }
    const std::u16string wide = platform::utf8_to_utf16(name);
    const size_t n = std::min(wide.size(), std::size(out.name) - 1);
    std::copy_n(wide.begin(), n, out.name);
}

intptr_t FindFirst(const intptr_t* a) {
    if (a[0] == 0 || a[1] == 0 || a[2] == 0) return kResultNullPointer;
    const std::string pattern = PathArg(a[0]);
    const size_t slash = pattern.rfind('/');
    auto find = std::make_shared<HostFind>();
    find->directory = slash == std::string::npos ? "." : pattern.substr(0, slash);
    find->pattern = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
    DIR* dir = ::opendir(find->directory.empty() ? "/" : find->directory.c_str());
    if (dir == nullptr) return kResultFailed;
    while (const dirent* e = ::readdir(dir)) {
        if (::fnmatch(find->pattern.c_str(), e->d_name, FNM_PERIOD) == 0) find->names.emplace_back(e->d_name);
    }
    ::closedir(dir);
    if (find->names.empty()) return kResultFailed;
    FillFind(find->directory, find->names[find->next++], *Ptr<HostFindData>(a[2]));
    *Ptr<intptr_t>(a[1]) = g_finds.Add(std::move(find));
    return kResultOk;
}

intptr_t FindNext(const intptr_t* a) {
    const auto find = g_finds.Get(a[0]);
    if (!find) return kResultFailed;
    if (a[1] == 0) return kResultNullPointer;
    if (find->next >= find->names.size()) return kResultFailed;
    FillFind(find->directory, find->names[find->next++], *Ptr<HostFindData>(a[1]));
    return kResultOk;
}

}  // namespace

intptr_t Files(intptr_t code, const intptr_t* a) {
    switch (code) {
    case kHostFileOpen:
        return Open(a);
    case kHostTempFile:
        return TempFile(a);
    case kHostFileRead:
        return ReadWrite(false, a);
    case kHostFileWrite:
        return ReadWrite(true, a);
    case kHostFileSeek: {
        const auto file = g_files.Get(a[0]);
        if (!file) return kResultFailed;
        const int whence = a[2] == 1 ? SEEK_CUR : a[2] == 2 ? SEEK_END : SEEK_SET;
        const off_t pos = ::lseek(file->fd, static_cast<off_t>(a[1]), whence);
        if (pos < 0) return kResultSeekFailed;
        if (a[3] != 0) *Ptr<int64_t>(a[3]) = pos;
        return kResultOk;
    }
    case kHostFileSize:
    case kHostFileInfo: {
        const auto file = g_files.Get(a[0]);
        if (!file) return kResultFailed;
        if (a[1] == 0) return kResultNullPointer;
        struct stat st{};
        if (::fstat(file->fd, &st) != 0) return kResultFailed;
        if (code == kHostFileSize) {
            *Ptr<uint64_t>(a[1]) = static_cast<uint64_t>(st.st_size);
        } else {
            auto& info = *Ptr<HostFileInfo>(a[1]);
            info.size = static_cast<uint64_t>(st.st_size);
            info.write_time = platform::filetime_from_unix(st.st_mtim.tv_sec, static_cast<uint32_t>(st.st_mtim.tv_nsec));
            info.file_id = st.st_ino;
            info.link_count = static_cast<uint32_t>(st.st_nlink);
            info.attributes = S_ISDIR(st.st_mode) ? kHostAttrDirectory : 0;
        }
        return kResultOk;
    }
    case kHostFileTruncate: {
        const auto file = g_files.Get(a[0]);
        if (!file) return kResultFailed;
        if (a[1] < 0 || ::lseek(file->fd, a[1], SEEK_SET) < 0) return kResultSeekFailed;
        return ::ftruncate(file->fd, a[1]) == 0 ? kResultOk : kResultFailed;
    }
    case kHostFileFlush: {
        const auto file = g_files.Get(a[0]);
        if (!file) return kResultFailed;
        // A read-only descriptor has nothing to flush: success, as the reader expects.
        return ::fdatasync(file->fd) == 0 || errno == EBADF || errno == EINVAL ? kResultOk : kResultFailed;
    }
    case kHostFileClose:
        return g_files.Remove(a[0]) ? kResultOk : kResultFailed;
    case kHostFileDelete:
        if (a[0] == 0) return kResultNullPointer;
        return ::unlink(PathArg(a[0]).c_str()) == 0 ? kResultOk : kResultFailed;
    case kHostFileMove:
        if (a[0] == 0 || a[1] == 0) return kResultNullPointer;
        return ::rename(PathArg(a[0]).c_str(), PathArg(a[1]).c_str()) == 0 ? kResultOk : kResultFailed;
    case kHostFindFirst:
        return FindFirst(a);
    case kHostFindNext:
        return FindNext(a);
    case kHostFindClose:
        return g_finds.Remove(a[0]) ? kResultOk : kResultFailed;
    case kHostLibraryLoad: {
        if (a[0] == 0 || a[1] == 0) return kResultNullPointer;
        void* h = ::dlopen(PathArg(a[0]).c_str(), RTLD_NOW | RTLD_LOCAL);
        if (h == nullptr) return kResultFailed;
        *Ptr<intptr_t>(a[1]) = g_libraries.Add(std::make_shared<HostLibrary>(h));
        return kResultOk;
    }
    case kHostLibraryFree:
        return g_libraries.Remove(a[0]) ? kResultOk : kResultFailed;
    case kHostLibrarySymbol: {
        const auto lib = g_libraries.Get(a[0]);
        if (!lib) return kResultFailed;
        if (a[1] == 0 || a[2] == 0) return kResultNullPointer;
        void* s = ::dlsym(lib->handle, Ptr<const char>(a[1]));
        if (s == nullptr) return kResultFailed;
        *Ptr<void*>(a[2]) = s;
        return kResultOk;
    }
    default:
        return kResultNotServed;
    }
}

}  // namespace korv::host
