// A file written beside the reports as a whole or not at all: the text goes to a
// temporary file of the working folder, which replaces the target (any letter case of its
// name) only when every byte reached the disk. A failed write leaves the earlier file.
#pragma once

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string_view>

namespace ptw3 {

class OutputFile {
  public:
    OutputFile(const std::filesystem::path& folder, std::string_view name);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void write(std::string_view text);
    /// Closes the file and puts it in place; false when anything failed (the temporary
    /// file is removed then).
    bool commit();

  private:
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::filesystem::path m_target;
    std::filesystem::path m_temporary;
    std::unique_ptr<std::FILE, Closer> m_file;
    bool m_failed = false;
};

} // namespace ptw3
