// ptw3-generate-network: writes a synthetic working folder for benchmarks and stress
// tests. Usage: ptw3-generate-network FOLDER [--points N] [--seed S] [--shape SHAPE]
// [--without FILE]...
#include "bench/network_generator.h"
#include "common/folder_files.h"

#include <charconv>
#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <string_view>

using namespace ptw3::bench;

namespace {

constexpr int exitUsage = 2;
constexpr int exitFailed = 1;

constexpr const char* usage =
    "usage: ptw3-generate-network FOLDER [--points N] [--seed S] [--shape SHAPE]\n"
    "                                    [--without FILE]...\n"
    "  --points N      points of the network, 10 to 20000 (default 20000)\n"
    "  --seed S        seed of the random numbers, 0 to 2^64-1 (default 1)\n"
    "  --shape SHAPE   grid (default), chain (two points wide, held at its start),\n"
    "                  clusters (two grids joined by one line) or field (scattered points,\n"
    "                  direction sets of 6 to 15 sight lines, GPS vectors across the area)\n"
    "  --without FILE  leave out the file of that name (KATY, XY.prz, ...); repeatable\n";

template <class T> std::optional<T> parseWhole(std::string_view text) {
    T value{};
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::optional<FileKind> fileKindNamed(std::string_view name) {
    for (int k = 0; k < fileKindCount; ++k) {
        const auto kind = static_cast<FileKind>(k);
        if (ptw3::equalNoCase(fileName(kind), name)) {
            return kind;
        }
    }
    return std::nullopt;
}

int fail(const std::string& text) {
    std::fprintf(stderr, "ptw3-generate-network: %s\n%s", text.c_str(), usage);
    return exitUsage;
}

} // namespace

int main(int argc, char** argv) {
    GeneratorOptions options;
    std::optional<std::string> folder;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(usage, stdout);
            return 0;
        }
        if (arg == "--points" || arg == "--seed" || arg == "--shape" || arg == "--without") {
            if (i + 1 == argc) {
                return fail(std::string(arg) + " needs a value");
            }
            const std::string_view value = argv[++i];
            if (arg == "--points") {
                const auto points = parseWhole<int32_t>(value);
                if (!points) {
                    return fail("not a point count: " + std::string(value));
                }
                options.pointCount = *points;
            } else if (arg == "--shape") {
                const auto shape = shapeNamed(value);
                if (!shape) {
                    return fail("not a shape: " + std::string(value));
                }
                options.shape = *shape;
            } else if (arg == "--seed") {
                const auto seed = parseWhole<uint64_t>(value);
                if (!seed) {
                    return fail("not a seed: " + std::string(value));
                }
                options.seed = *seed;
            } else {
                const auto kind = fileKindNamed(value);
                if (!kind) {
                    return fail("no such file: " + std::string(value));
                }
                options.setWrites(*kind, false);
            }
        } else if (!arg.empty() && arg[0] != '-' && !folder) {
            folder = std::string(arg);
        } else {
            return fail("unexpected argument: " + std::string(arg));
        }
    }
    if (!folder) {
        return fail("no folder given");
    }
    try {
        generateNetwork(*folder, options);
    } catch (const std::invalid_argument& error) {
        return fail(error.what());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "ptw3-generate-network: %s\n", error.what());
        return exitFailed;
    }
    std::printf("%d points, seed %llu: %s\n", options.pointCount,
                static_cast<unsigned long long>(options.seed), folder->c_str());
    return 0;
}
