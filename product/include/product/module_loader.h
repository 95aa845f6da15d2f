// Finding, checking, loading and exchanging the product module lvmod_32.so.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "product/module_abi.h"
#include "product/rw_lock.h"

namespace korv {

// Owns a dlopen handle; closes it when destroyed.
class LibraryHandle {
public:
    LibraryHandle() = default;
    explicit LibraryHandle(void* handle) : m_handle(handle) {}
    LibraryHandle(LibraryHandle&& other) noexcept : m_handle(other.m_handle) { other.m_handle = nullptr; }
    LibraryHandle& operator=(LibraryHandle&& other) noexcept;
    LibraryHandle(const LibraryHandle&) = delete;
    LibraryHandle& operator=(const LibraryHandle&) = delete;
    ~LibraryHandle();

    void* get() const { return m_handle; }
    explicit operator bool() const { return m_handle != nullptr; }

private:
    void* m_handle = nullptr;
};

// One loaded module file. Destroying a started record stops the module
// (entry with the stop arguments) before the library is closed.
struct ModuleRecord {
    ModuleRecord() = default;
    ModuleRecord(const ModuleRecord&) = delete;
    ModuleRecord& operator=(const ModuleRecord&) = delete;
    ~ModuleRecord();

    ModuleRequestFn Request() const { return interface != nullptr ? interface->request : nullptr; }

    LibraryHandle library;
    ModuleInitEntryFn entry = nullptr;
    ModuleInterface* interface = nullptr;  // filled in by the entry at start
    char16_t name[kModuleNameChars] = {};
    uint32_t version = 0;
    bool started = false;
    uint64_t generation = 0;  // unique per load; component instances remember it
};

// The module file in `directory` (with its trailing '/'): directory/lvmod_32.so
// when usable, else the highest numbered directory/lvmod_32/<N>/lvmod_32.so.
std::optional<std::string> FindModuleFile(const std::string& directory);

// Version and name from the bytes of an information block (`size` bytes are
// readable at `block`). Entries that do not lie wholly inside the data are
// ignored; without a valid block the version is 0 and the name empty.
void ReadModuleInfo(const unsigned char* block, size_t size, uint32_t& version,
                    char16_t (&name)[kModuleNameChars]);

// The process-wide holder of the current module. Every call into the module
// library goes between AcquireModule and ReleaseModule (or a ModuleHold).
class ModuleLoader {
public:
    // `directory` is where the module is searched, with a trailing '/'.
    ModuleLoader(HostFunction host, std::string directory);
    ModuleLoader(const ModuleLoader&) = delete;
    ModuleLoader& operator=(const ModuleLoader&) = delete;
    virtual ~ModuleLoader();

    // The viewer's own loader: host services and the executable's directory.
    static ModuleLoader& Global();

    const std::string& Directory() const { return m_directory; }
    HostFunction Host() const { return m_host; }

    // Finds, loads, checks and starts a module; null when there is none or it refuses.
    std::unique_ptr<ModuleRecord> LoadModule(const std::string& directory);

    // Makes `module` current (null unloads) and stops the previous one. When
    // the new module refuses (3039), answers false and `module` stays with the caller.
    bool SetModule(std::unique_ptr<ModuleRecord>& module);

    // The current module with a request function, the lock held shared; null
    // (and nothing held) otherwise.
    const ModuleRecord* AcquireModule();
    // The same, for a long run of calls (a block of records): it lets a module exchange that
    // is waiting go first, unless the calling thread already holds the module.
    const ModuleRecord* AcquireModuleForRun();
    void ReleaseModule();

    // Keeps a current module that answers the probe with its own version,
    // else loads one from Directory(). True when a module is current.
    bool StartModule();

    // Version and name of the current module (0 and empty when none).
    uint32_t CurrentVersion();
    std::u16string CurrentName();

private:
    // After the lock was taken shared: the current module with a request function, or null
    // with the lock given back.
    const ModuleRecord* HeldOrReleased();

    HostFunction m_host;
    std::string m_directory;
    TavOsApi::RWLock m_lock;                  // guards m_current
    std::unique_ptr<ModuleRecord> m_current;  // the loaded module, null when none
};

// Holds the loader's lock shared for one scope.
class ModuleHold {
public:
    explicit ModuleHold(ModuleLoader& loader) : m_loader(loader), m_module(loader.AcquireModule()) {}
    ModuleHold(const ModuleHold&) = delete;
    ModuleHold& operator=(const ModuleHold&) = delete;
    ~ModuleHold() {
        if (m_module != nullptr) m_loader.ReleaseModule();
    }
    const ModuleRecord* get() const { return m_module; }
    const ModuleRecord* operator->() const { return m_module; }
    explicit operator bool() const { return m_module != nullptr; }

private:
    ModuleLoader& m_loader;
    const ModuleRecord* m_module;
};

// The directory of the running executable, with a trailing '/'.
std::string ExecutableDirectory();

}  // namespace korv
