#include "logging/rollingfilesink.h"

#include <spdlog/details/os.h>

#include <string>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace VM {

namespace {

// Creates a missing log file readable and writable by its user alone, whatever the process's
// file-creation mask, so that nobody else can open it even for a moment. On Windows the log lies
// in the user's profile, whose access rules already keep other users out: nothing is done there.
void createOwnerOnly(const spdlog::filename_t &fileName)
{
#ifdef _WIN32
    (void)fileName;
#else
    const int fd = ::open(fileName.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd != -1)
        ::close(fd);
#endif
}

// Makes an opened log file, one found open to others included, the user's alone before anything
// is written to it. On Windows the user profile's access rules hold, as above.
void restrictToOwner(std::FILE *file)
{
#ifdef _WIN32
    (void)file;
#else
    (void)::fchmod(::fileno(file), 0600);
#endif
}

spdlog::file_event_handlers ownerOnlyFiles()
{
    spdlog::file_event_handlers handlers;
    handlers.before_open = [](const spdlog::filename_t &fileName) { createOwnerOnly(fileName); };
    handlers.after_open
        = [](const spdlog::filename_t &, std::FILE *file) { restrictToOwner(file); };
    return handlers;
}

} // namespace

RollingFileSink::RollingFileSink(spdlog::filename_t fileName, std::size_t maxFileSize,
    int maxBackupIndex, std::unique_ptr<spdlog::formatter> formatter)
    : base_sink(std::move(formatter))
    , m_fileName(std::move(fileName))
    , m_maxFileSize(maxFileSize)
    , m_maxBackupIndex(maxBackupIndex)
    , m_file(ownerOnlyFiles())
{
    if (maxFileSize == 0 || maxBackupIndex < 1)
        spdlog::throw_spdlog_ex("the log file needs a size limit and at least one backup");
    m_file.open(m_fileName);
    m_open = true;
    m_size = m_file.size();
}

RollingFileSink::~RollingFileSink() = default;

spdlog::filename_t RollingFileSink::backupName(const spdlog::filename_t &fileName, int index)
{
    spdlog::filename_t name = fileName;
    name += SPDLOG_FILENAME_T('.');
#ifdef SPDLOG_WCHAR_FILENAMES
    name += std::to_wstring(index);
#else
    name += std::to_string(index);
#endif
    return name;
}

void RollingFileSink::sink_it_(const spdlog::details::log_msg &msg)
{
    // A file that could not be opened again after a roll stays closed: its lines are lost, as
    // the failure to open it was reported; trying again at every line would stall each one.
    if (!m_open)
        return;
    spdlog::memory_buf_t line;
    formatter_->format(msg, line);
    if (m_size >= m_maxFileSize)
        roll();
    m_file.write(line);
    m_file.flush();
    m_size += line.size();
}

void RollingFileSink::flush_()
{
    if (m_open)
        m_file.flush();
}

void RollingFileSink::roll()
{
    if (!shiftBackups())
        return;
    m_file.close();
    m_open = false;
    const bool renamed = spdlog::details::os::rename(m_fileName, backupName(m_fileName, 1)) == 0;
    // The new file after a roll; the same one again when it could not be renamed, whose size
    // still asks for a roll before the next line.
    m_file.open(m_fileName);
    m_open = true;
    if (renamed)
        m_size = m_file.size();
}

bool RollingFileSink::shiftBackups()
{
    namespace os = spdlog::details::os;
    // The backups 1 ... last follow each other without a gap.
    int last = 0;
    while (last < m_maxBackupIndex && os::path_exists(backupName(m_fileName, last + 1)))
        ++last;
    if (last == m_maxBackupIndex) {
        if (os::remove(backupName(m_fileName, last)) != 0)
            return false;
        --last;
    }
    for (int index = last; index >= 1; --index) {
        if (os::rename(backupName(m_fileName, index), backupName(m_fileName, index + 1)) != 0)
            return false;
    }
    return true;
}

} // namespace VM
