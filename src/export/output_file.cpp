#include "export/output_file.h"

#include "common/folder_files.h"

#include <system_error>

namespace ptw3 {

namespace fs = std::filesystem;

namespace {
constexpr size_t bufferBytes = size_t{1} << 20; // the files run to tens of megabytes
}

OutputFile::OutputFile(const fs::path& folder, std::string_view name)
    : m_target(pathForWriting(folder, name))
    , m_temporary(folder / (std::string(name) + ".tmp"))
    , m_file(std::fopen(m_temporary.c_str(), "wb")) {
    m_failed = m_file == nullptr;
    if (m_file) {
        std::setvbuf(m_file.get(), nullptr, _IOFBF, bufferBytes);
    }
}

OutputFile::~OutputFile() {
    if (m_file) {
        m_file.reset();
        std::error_code ignored;
        fs::remove(m_temporary, ignored);
    }
}

void OutputFile::write(std::string_view text) {
    if (!m_failed && std::fwrite(text.data(), 1, text.size(), m_file.get()) != text.size()) {
        m_failed = true;
    }
}

bool OutputFile::commit() {
    if (m_file && std::fclose(m_file.release()) != 0) {
        m_failed = true;
    }
    std::error_code error;
    if (!m_failed) {
        fs::rename(m_temporary, m_target, error);
    }
    if (m_failed || error) {
        fs::remove(m_temporary, error);
        return false;
    }
    return true;
}

} // namespace ptw3
