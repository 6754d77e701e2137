// The OS-neutral part of starting programs from tests: the stand-in's copies, console text and
// gzip data made and read by zlib, an implementation independent of VOX_ZIP's.
#include "support/run_program.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/files.h"
#include "support/temp_folder.h"

ProgramResult runProgram(const std::string& folder, const std::vector<std::string>& command,
                         const ProgramOptions& options) {
    StartedProgram program = startProgram(folder, command, options);
    return finishProgram(program);
}

std::string plainProgramPath(const std::string& name) {
#ifdef TP_PLAIN_BIN
    return joinPath(TP_PLAIN_BIN, name + kExeSuffix);
#else
    return programPath(name);
#endif
}

std::vector<std::string> words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> list;
    for (std::string word; in >> word;) {
        list.push_back(word);
    }
    return list;
}

void writeStandIn(const std::string& folder, const std::string& relative, const std::string& plan) {
    const std::filesystem::path base = std::filesystem::path(folder) / relative;
    std::filesystem::create_directories(base.parent_path());
    std::filesystem::copy_file(programPath("tp-stand-in"), base.string() + kExeSuffix,
                               std::filesystem::copy_options::overwrite_existing);
    std::ofstream(base.string() + ".plan", std::ios::binary) << plan;
}

std::string consoleText(const std::string& printed, bool crlf) {
    if (!crlf) {
        return printed;
    }
    std::string text;
    for (std::size_t i = 0; i < printed.size(); ++i) {
        if (printed[i] == '\r' && i + 1 < printed.size() && printed[i + 1] == '\n') {
            continue;
        }
        if (printed[i] == '\n' && (i == 0 || printed[i - 1] != '\r')) {
            ADD_FAILURE() << "a console line ends in LF alone, not CR LF: " << printed;
        }
        text += printed[i];
    }
    return text;
}

std::string capturedText(const TempFolder& capture, const char* name) {
    const auto bytes = capture.readBytes(name);
    return consoleText({bytes.begin(), bytes.end()});
}

std::vector<std::uint8_t> gunzip(const std::vector<std::uint8_t>& gz) {
    z_stream stream{};
    if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK) {
        ADD_FAILURE() << "inflateInit2 failed";
        return {};
    }
    stream.next_in = const_cast<Bytef*>(gz.data());
    stream.avail_in = static_cast<uInt>(gz.size());
    std::vector<std::uint8_t> data;
    int rc = Z_OK;
    while (rc == Z_OK) {
        std::uint8_t chunk[65536];
        stream.next_out = chunk;
        stream.avail_out = sizeof chunk;
        rc = inflate(&stream, Z_NO_FLUSH);
        data.insert(data.end(), chunk, chunk + (sizeof chunk - stream.avail_out));
    }
    const uInt left = stream.avail_in;
    inflateEnd(&stream);
    if (rc != Z_STREAM_END || left != 0) {
        ADD_FAILURE() << "not one whole gzip member: zlib says " << rc << ", " << left
                      << " bytes after it";
        return {};
    }
    return data;
}

std::vector<std::uint8_t> gzipped(const std::vector<std::uint8_t>& data) {
    z_stream stream{};
    EXPECT_EQ(deflateInit2(&stream, 9, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY), Z_OK);
    std::vector<std::uint8_t> gz(deflateBound(&stream, static_cast<uLong>(data.size())));
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = gz.data();
    stream.avail_out = static_cast<uInt>(gz.size());
    EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
    gz.resize(stream.total_out);
    deflateEnd(&stream);
    return gz;
}
