#pragma once

#include <spdlog/details/file_helper.h>
#include <spdlog/sinks/base_sink.h>

#include <cstddef>
#include <memory>
#include <mutex>

namespace VM {

// The log file, appended to, and its numbered backups "<file>.1" (the newest) to
// "<file>.<maxBackupIndex>", rolled by size:
// - Before a line is written, a file that holds maxFileSize bytes or more is rolled: the backups
//   from "<file>.1" up move one number higher for as long as they follow each other without a
//   gap (one at maxBackupIndex is deleted first), and the file becomes "<file>.1". So a backup
//   holds at least maxFileSize bytes and less than that plus one line.
// - Nothing is lost when a roll fails: when the oldest backup cannot be deleted or a file cannot
//   be renamed, the lines go on into the current file, and the roll is tried again before the
//   next line.
// - Every file is readable and writable by its user alone; the backups are renamed files and keep
//   that.
// - Each line reaches the file before log() returns. The file size is counted from the size found
//   when the file is opened, plus what this sink wrote.
// Thread-safe: lines are formatted and written one at a time, under the sink's lock.
class RollingFileSink final : public spdlog::sinks::base_sink<std::mutex>
{
public:
    // Opens the file, creating it when missing; throws spdlog::spdlog_ex when it cannot.
    RollingFileSink(spdlog::filename_t fileName, std::size_t maxFileSize, int maxBackupIndex,
        std::unique_ptr<spdlog::formatter> formatter);
    ~RollingFileSink() override;

    // "<file>.<index>"
    static spdlog::filename_t backupName(const spdlog::filename_t &fileName, int index);

protected:
    void sink_it_(const spdlog::details::log_msg &msg) override;
    void flush_() override;

private:
    void roll();
    bool shiftBackups();

    const spdlog::filename_t m_fileName;
    const std::size_t m_maxFileSize;
    const int m_maxBackupIndex;
    spdlog::details::file_helper m_file;
    bool m_open = false;
    std::size_t m_size = 0;
};

} // namespace VM
