// Temporary directories and module files for the module layer tests.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <type_traits>

#include "product/host_services.h"

#include <gtest/gtest.h>

namespace korv::test {

// A fresh directory, removed with everything in it at the end of the test.
class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "korv-product-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed";
        m_path = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // The directory with a trailing '/', as the loader takes it.
    std::string Dir() const { return m_path.string() + "/"; }
    std::filesystem::path Path(const std::string& relative) const { return m_path / relative; }

    // Copies `from` to `relative`, making the directories on the way.
    void Copy(const std::string& from, const std::string& relative) const {
        const auto to = Path(relative);
        std::filesystem::create_directories(to.parent_path());
        std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
    }
    void Write(const std::string& relative, const std::string& bytes) const {
        const auto to = Path(relative);
        std::filesystem::create_directories(to.parent_path());
        std::ofstream(to, std::ios::binary) << bytes;
    }

private:
    std::filesystem::path m_path;
};

// Calls the host function as a module must: every argument widened to intptr_t.
template <class... Args>
intptr_t CallHost(intptr_t code, Args... args) {
    auto widen = [](auto v) -> intptr_t {
        if constexpr (std::is_pointer_v<decltype(v)>) {
            return reinterpret_cast<intptr_t>(v);
        } else {
            return static_cast<intptr_t>(v);
        }
    };
    return HostServices(code, widen(args)...);
}

inline std::string StandinModule() { return std::string(KORV_BIN_DIR) + "/lvmod_32.so"; }
inline std::string FakeModule(const std::string& variant) {
    return std::string(KORV_TEST_MODULE_DIR) + "/fakemod_" + variant + ".so";
}

}  // namespace korv::test
