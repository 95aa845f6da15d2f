#include "product/module_loader.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/codepage.h"
#include "product/host_services.h"

namespace korv {
namespace {

constexpr char kModuleBase[] = "lvmod_32";
constexpr char kModuleSuffix[] = ".so";

std::atomic<uint64_t> g_nextGeneration{1};

// A regular file that exists and is not empty.
bool IsUsable(const std::string& path) {
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0) return false;
    return S_ISREG(st.st_mode) && st.st_size > 0;
}

// A directory name made only of decimal digits whose value fits 32 bits and
// is neither 0 nor 0xFFFFFFFF.
std::optional<uint32_t> VersionDirectory(const char* name) {
    if (*name == '\0') return std::nullopt;
    uint64_t value = 0;
    for (const char* p = name; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9') return std::nullopt;
        value = value * 10 + static_cast<uint64_t>(*p - '0');
        if (value > 0xFFFFFFFFull) return std::nullopt;
    }
    if (value == 0 || value == 0xFFFFFFFFull) return std::nullopt;
    return static_cast<uint32_t>(value);
}

uint32_t ReadU32(const unsigned char* p) {
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// The value of the first entry with `key`, or null when the first such entry
// does not lie wholly inside the data or there is none.
const unsigned char* FindEntry(const unsigned char* data, uint32_t size, uint32_t key, uint32_t& length) {
    uint32_t pos = 0;
    while (size - pos >= 8) {
        const uint32_t k = ReadU32(data + pos);
        const uint32_t l = ReadU32(data + pos + 4);
        const uint32_t room = size - pos - 8;
        if (k == key) {
            if (l > room) return nullptr;
            length = l;
            return data + pos + 8;
        }
        if (l > room) return nullptr;  // the chain runs out of the data
        pos += 8 + l;
    }
    return nullptr;
}

// The block the module exports, bounded by the symbol's own size so that a
// data length larger than the object is never followed.
void ReadLibraryInfo(void* library, ModuleRecord& record) {
    void* symbol = ::dlsym(library, kModuleInfoBlockName);
    if (symbol == nullptr) return;
    Dl_info info{};
    ElfW(Sym)* entry = nullptr;
    if (::dladdr1(symbol, &info, reinterpret_cast<void**>(&entry), RTLD_DL_SYMENT) == 0 || entry == nullptr) {
        return;
    }
    ReadModuleInfo(static_cast<const unsigned char*>(symbol), entry->st_size, record.version, record.name);
}

}  // namespace

LibraryHandle& LibraryHandle::operator=(LibraryHandle&& other) noexcept {
    if (this != &other) {
        if (m_handle != nullptr) ::dlclose(m_handle);
        m_handle = other.m_handle;
        other.m_handle = nullptr;
    }
    return *this;
}

LibraryHandle::~LibraryHandle() {
    if (m_handle != nullptr) ::dlclose(m_handle);
}

ModuleRecord::~ModuleRecord() {
    if (started && entry != nullptr) entry(kModuleEntryStop, 0, 0, 0, 0, 0, 0);
}

std::optional<std::string> FindModuleFile(const std::string& directory) {
    const std::string direct = directory + kModuleBase + kModuleSuffix;
    if (IsUsable(direct)) return direct;

    const std::string sub = directory + kModuleBase;
    DIR* dir = ::opendir(sub.c_str());
    if (dir == nullptr) return std::nullopt;
    std::optional<uint32_t> best;
    std::string bestPath;
    while (const dirent* e = ::readdir(dir)) {
        const auto v = VersionDirectory(e->d_name);
        if (!v || (best && *v <= *best)) continue;
        std::string candidate = sub + "/" + std::to_string(*v) + "/" + kModuleBase + kModuleSuffix;
        if (IsUsable(candidate)) {
            best = v;
            bestPath = std::move(candidate);
        }
    }
    ::closedir(dir);
    if (!best) return std::nullopt;
    return bestPath;
}

void ReadModuleInfo(const unsigned char* block, size_t size, uint32_t& version,
                    char16_t (&name)[kModuleNameChars]) {
    version = 0;
    std::memset(name, 0, sizeof name);
    if (block == nullptr || size < kModuleInfoDataOffset) return;
    if (std::memcmp(block, kModuleInfoMagic, sizeof kModuleInfoMagic) != 0) return;
    const uint32_t length = ReadU32(block + offsetof(ModuleInfoBlock, data_length));
    if (length > kModuleInfoMaxData || length > size - kModuleInfoDataOffset) return;
    const unsigned char* data = block + kModuleInfoDataOffset;

    uint32_t l = 0;
    if (const unsigned char* v = FindEntry(data, length, kModuleInfoKeyVersion, l); v != nullptr && l == 4) {
        version = ReadU32(v);
    }
    if (const unsigned char* v = FindEntry(data, length, kModuleInfoKeyName, l); v != nullptr) {
        const char* text = reinterpret_cast<const char*>(v);
        std::u16string wide = platform::ansi_to_utf16(std::string_view(text, ::strnlen(text, l)));
        size_t keep = std::min(wide.size(), kModuleNameChars - 1);
        // Do not keep half of a surrogate pair.
        if (keep > 0 && keep < wide.size() && wide[keep - 1] >= 0xD800 && wide[keep - 1] < 0xDC00) --keep;
        std::copy_n(wide.begin(), keep, name);
    }
}

ModuleLoader::ModuleLoader(HostFunction host, std::string directory)
    : m_host(host), m_directory(std::move(directory)) {}

ModuleLoader::~ModuleLoader() {
    std::unique_ptr<ModuleRecord> none;
    SetModule(none);
}

ModuleLoader& ModuleLoader::Global() {
    static ModuleLoader loader(&HostServices, ExecutableDirectory());
    return loader;
}

std::unique_ptr<ModuleRecord> ModuleLoader::LoadModule(const std::string& directory) {
    auto record = std::make_unique<ModuleRecord>();
    const auto path = FindModuleFile(directory);
    if (!path) return nullptr;

    // The file stays open and read-locked from here to the end of the load,
    // so that a cooperating writer cannot replace it; a file swapped by
    // rename meanwhile is caught by comparing identities afterwards. (Loading
    // through /proc/self/fd would look safer but lets the loader take an
    // older library of the same descriptor name for the new one.)
    const int fd = ::open(path->c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat opened{};
    if (::flock(fd, LOCK_SH | LOCK_NB) != 0 || ::fstat(fd, &opened) != 0) {
        ::close(fd);
        return nullptr;
    }
    record->library = LibraryHandle(::dlopen(path->c_str(), RTLD_NOW | RTLD_LOCAL));
    struct stat loaded{};
    const bool same = ::stat(path->c_str(), &loaded) == 0 && loaded.st_dev == opened.st_dev &&
                      loaded.st_ino == opened.st_ino;
    ::close(fd);
    if (!record->library || !same) return nullptr;

    ReadLibraryInfo(record->library.get(), *record);

    record->entry = reinterpret_cast<ModuleInitEntryFn>(::dlsym(record->library.get(), kModuleEntryName));
    if (record->entry == nullptr) return nullptr;
    if (record->entry(kModuleEntryStart, reinterpret_cast<intptr_t>(&record->interface), 0, 0,
                      reinterpret_cast<intptr_t>(m_host), kModuleEntryStartValue, 0) != 0) {
        return nullptr;
    }
    record->started = true;
    record->generation = g_nextGeneration.fetch_add(1);

    if (ModuleRequestFn request = record->Request()) {
        const std::u16string dir = platform::utf8_to_utf16(directory);
        request(kModuleReqSetDirectory, reinterpret_cast<intptr_t>(dir.c_str()));
    }
    return record;
}

bool ModuleLoader::SetModule(std::unique_ptr<ModuleRecord>& module) {
    std::unique_ptr<ModuleRecord> previous;
    {
        std::unique_lock guard(m_lock);
        if (module != nullptr) {
            ModuleRequestFn request = module->Request();
            const ModuleRequestFn old = m_current != nullptr ? m_current->Request() : nullptr;
            const intptr_t r = request != nullptr
                                   ? request(kModuleReqReplace, reinterpret_cast<intptr_t>(old))
                                   : kResultNotServed;
            if (r != kResultOk && r != kResultNotServed) return false;
        }
        previous = std::move(m_current);
        m_current = std::move(module);
    }
    // Stopped and unloaded outside the lock: nobody can reach it any more.
    previous.reset();
    return true;
}

namespace {
// Holds of any loader on this thread: a thread that holds one must not wait for a writer.
thread_local int t_holds = 0;
}  // namespace

const ModuleRecord* ModuleLoader::HeldOrReleased() {
    if (m_current == nullptr || m_current->Request() == nullptr) {
        m_lock.unlock_shared();
        return nullptr;
    }
    ++t_holds;
    return m_current.get();
}

const ModuleRecord* ModuleLoader::AcquireModule() {
    m_lock.lock_shared();
    return HeldOrReleased();
}

const ModuleRecord* ModuleLoader::AcquireModuleForRun() {
    if (t_holds > 0) return AcquireModule();
    m_lock.lock_shared_yielding();
    return HeldOrReleased();
}

void ModuleLoader::ReleaseModule() {
    --t_holds;
    m_lock.unlock_shared();
}

bool ModuleLoader::StartModule() {
    {
        ModuleHold hold(*this);
        if (hold) {
            ModuleRequestFn request = hold->Request();
            ComponentRecord probe{0, nullptr, kComponentProbe, nullptr, 0, 0};
            if (request(kModuleReqOpenComponent, static_cast<intptr_t>(kComponentProbe), 0,
                        static_cast<intptr_t>(kOpenFlagProbe), 0, 0,
                        reinterpret_cast<intptr_t>(&probe)) == kResultOk) {
                request(kModuleReqGetFunction, probe.handle, reinterpret_cast<intptr_t>(&probe.function));
                const intptr_t rv = request(kModuleReqGetVersion, probe.handle, 0, 0,
                                            reinterpret_cast<intptr_t>(&probe.version), 0, 0, 0);
                request(kModuleReqCloseComponent, probe.handle);
                if (rv == kResultOk && probe.version == hold->version) return true;
            }
        }
    }
    std::unique_ptr<ModuleRecord> fresh = LoadModule(m_directory);
    if (fresh == nullptr || fresh->Request() == nullptr) return false;
    // A refused module is stopped and freed by `fresh` going out of scope.
    return SetModule(fresh);
}

uint32_t ModuleLoader::CurrentVersion() {
    ModuleHold hold(*this);
    return hold ? hold->version : 0;
}

std::u16string ModuleLoader::CurrentName() {
    ModuleHold hold(*this);
    return hold ? std::u16string(hold->name) : std::u16string();
}

std::string ExecutableDirectory() {
    char buffer[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return "./";
    std::string path(buffer, static_cast<size_t>(n));
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

}  // namespace korv
