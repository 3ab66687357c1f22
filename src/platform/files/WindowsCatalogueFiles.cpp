#include "SystemCatalogueFiles.h"

#include "platform/files/PortableCatalogueFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <windows.h>

#include <cstddef>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

using namespace Qt::Literals::StringLiterals;

namespace ondiva {
namespace {

// A path as the wide-character calls take it: UTF-16 with backslashes, and for a
// long path the \\?\ form, which lifts the MAX_PATH limit (it needs an absolute,
// already cleaned path).
std::wstring wide(const QString& path)
{
    QString native = QDir::toNativeSeparators(path);
    if (native.size() >= MAX_PATH - 12) {
        const QString absolute = QDir::toNativeSeparators(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
        native = absolute.startsWith(u"\\\\"_s) ? u"\\\\?\\UNC\\"_s + absolute.mid(2) : u"\\\\?\\"_s + absolute;
    }
    return native.toStdWString();
}

QString systemMessage(DWORD error)
{
    wchar_t* buffer = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    const QString text = length > 0 ? QString::fromWCharArray(buffer, int(length)).trimmed()
                                     : u"Windows error %1"_s.arg(error);
    LocalFree(buffer);
    return text;
}

// ERROR_DISK_QUOTA_EXCEEDED, which MinGW's winerror.h lacks.
constexpr DWORD kDiskQuotaExceeded = 1295;

FileStatus fromError(DWORD error)
{
    FileStatus status;
    switch (error) {
    case ERROR_SUCCESS:
        return status;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        status.kind = FileStatus::Kind::Exists;
        break;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
    case kDiskQuotaExceeded:
    case ERROR_FILE_TOO_LARGE:
        status.kind = FileStatus::Kind::NoSpace;
        break;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
    case ERROR_PRIVILEGE_NOT_HELD:
        status.kind = FileStatus::Kind::Denied;
        break;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        status.kind = FileStatus::Kind::InUse; // another program has the file open
        break;
    default:
        status.kind = FileStatus::Kind::Failed;
        break;
    }
    status.detail = systemMessage(error);
    return status;
}

FileStatus lastError() { return fromError(GetLastError()); }

// A handle that closes as it goes.
class Handle {
public:
    explicit Handle(HANDLE handle)
        : m_handle(handle)
    {}
    ~Handle()
    {
        if (valid())
            CloseHandle(m_handle);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    bool valid() const { return m_handle != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return m_handle; }
    void close()
    {
        if (valid())
            CloseHandle(m_handle);
        m_handle = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE m_handle;
};

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

Handle openExisting(const QString& path, DWORD access, DWORD share = kShareAll, DWORD flags = 0)
{
    return Handle(CreateFileW(wide(path).c_str(), access, share, nullptr, OPEN_EXISTING, flags, nullptr));
}

// Whether another program has path open without letting it be deleted or
// replaced: such a file cannot be swapped until that program lets go.
bool heldOpenElsewhere(const QString& path)
{
    const Handle handle = openExisting(path, DELETE, kShareAll, FILE_FLAG_BACKUP_SEMANTICS);
    return !handle.valid() && GetLastError() == ERROR_SHARING_VIOLATION;
}

FileStatus heldOpenStatus(const QString& path)
{
    return {FileStatus::Kind::InUse,
            u"%1: %2"_s.arg(QDir::toNativeSeparators(path), systemMessage(ERROR_SHARING_VIOLATION))};
}

// Virus scanners and the search indexer open a file for a moment just after it
// is written. An operation such a glance refuses is tried again for two seconds:
// attempt(lastTry) gives its result, or nothing to be tried again after a pause
// (on the last try it must give one).
template <class Attempt>
auto whileGlancedAt(Attempt attempt)
{
    constexpr int kTries = 20;
    constexpr DWORD kPauseMs = 100;
    for (int tries = 1;; ++tries) {
        if (auto result = attempt(tries == kTries))
            return std::move(*result);
        Sleep(kPauseMs);
    }
}

bool readAll(HANDLE file, char* buffer, DWORD size, DWORD& count)
{
    count = 0;
    while (count < size) {
        DWORD n = 0;
        if (!ReadFile(file, buffer + count, size - count, &n, nullptr))
            return false;
        if (n == 0)
            break;
        count += n;
    }
    return true;
}

bool writeAll(HANDLE file, const char* buffer, DWORD size)
{
    for (DWORD written = 0; written < size;) {
        DWORD n = 0;
        if (!WriteFile(file, buffer + written, size - written, &n, nullptr))
            return false;
        written += n;
    }
    return true;
}

bool rewind(HANDLE file)
{
    LARGE_INTEGER zero{};
    return SetFilePointerEx(file, zero, nullptr, FILE_BEGIN);
}

constexpr DWORD kCopyChunk = 1 << 20;

FileStatus sourceLost(DWORD error)
{
    FileStatus status = fromError(error);
    status.kind = FileStatus::Kind::SourceLost;
    return status;
}

// The file copied from is only read, and others may go on reading, writing,
// renaming or deleting it meanwhile: a change shows in the comparison, a file
// gone in its reopening.
Handle openSource(const QString& from) { return openExisting(from, GENERIC_READ, kShareAll, FILE_FLAG_SEQUENTIAL_SCAN); }

// Copies from's bytes into the open file `out` and forces them to disk.
FileStatus copyBytes(const QString& from, HANDLE out, const CopyProgress& advancing)
{
    const Handle in = openSource(from);
    if (!in.valid())
        return sourceLost(GetLastError());
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(in.get(), &size))
        return sourceLost(GetLastError());
    std::vector<char> buffer(kCopyChunk);
    for (qint64 done = 0;;) {
        DWORD count = 0;
        if (!readAll(in.get(), buffer.data(), kCopyChunk, count))
            return sourceLost(GetLastError());
        if (!writeAll(out, buffer.data(), count))
            return lastError();
        done += count;
        if (advancing && !advancing(done, size.QuadPart))
            return {FileStatus::Kind::Cancelled, {}};
        if (count < kCopyChunk)
            break;
    }
    return FlushFileBuffers(out) ? FileStatus{} : lastError();
}

// Reads `from` again, by its name, beside the copy: the copy counts only if the
// file still holds, byte for byte, what was copied.
FileStatus compareBack(const QString& from, HANDLE copy)
{
    const Handle in = openSource(from);
    if (!in.valid())
        return sourceLost(GetLastError());
    if (!rewind(copy))
        return lastError();
    std::vector<char> original(kCopyChunk);
    std::vector<char> copied(kCopyChunk);
    for (;;) {
        DWORD a = 0;
        DWORD b = 0;
        if (!readAll(in.get(), original.data(), kCopyChunk, a))
            return sourceLost(GetLastError());
        if (!readAll(copy, copied.data(), kCopyChunk, b))
            return lastError();
        if (a != b || std::memcmp(original.data(), copied.data(), a) != 0)
            return {FileStatus::Kind::SourceChanged, QDir::toNativeSeparators(from)};
        if (a < kCopyChunk)
            return {};
    }
}

// Copies the bytes of `from` to a new file `to`, which must not exist, forces them
// to disk and reads both back to compare them; a copy that fails any step is removed.
FileStatus copyToNew(const QString& from, const QString& to)
{
    Handle out(CreateFileW(wide(to).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out.valid())
        return lastError();
    FileStatus status = copyBytes(from, out.get(), {});
    if (status)
        status = compareBack(from, out.get());
    out.close();
    if (!status)
        DeleteFileW(wide(to).c_str());
    return status;
}

bool withoutHardLinks(DWORD error)
{
    switch (error) {
    case ERROR_INVALID_FUNCTION: // FAT and exFAT
    case ERROR_NOT_SUPPORTED:    // some network shares
    case ERROR_NOT_SAME_DEVICE:
    case ERROR_TOO_MANY_LINKS:
    case ERROR_ACCESS_DENIED: // a share that refuses links; the copy then says what is really wrong
        return true;
    default:
        return false;
    }
}

// Whether this process may add a file to folder, as the system answers without
// a file being made: the folder's access rights checked against the process's
// own token (so a program not run as administrator is refused Program Files,
// whoever installed it there), and the volume's read-only flag (a CD, a locked
// memory stick). Nothing where the system cannot say: on a network share the
// share's own permissions, which the folder's rights do not show, may refuse.
std::optional<bool> mayAddFile(const QString& folder)
{
    const std::wstring path = wide(folder);
    std::vector<wchar_t> root(path.size() + MAX_PATH);
    if (!GetVolumePathNameW(path.c_str(), root.data(), DWORD(root.size())))
        return std::nullopt;
    if (GetDriveTypeW(root.data()) == DRIVE_REMOTE)
        return std::nullopt;
    DWORD volumeFlags = 0;
    if (GetVolumeInformationW(root.data(), nullptr, 0, nullptr, nullptr, &volumeFlags, nullptr, 0) &&
        (volumeFlags & FILE_READ_ONLY_VOLUME))
        return false;

    constexpr SECURITY_INFORMATION kWanted =
        OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    DWORD size = 0;
    GetFileSecurityW(path.c_str(), kWanted, nullptr, 0, &size);
    if (size == 0)
        return std::nullopt;
    std::vector<std::max_align_t> descriptor(size / sizeof(std::max_align_t) + 1);
    if (!GetFileSecurityW(path.c_str(), kWanted, descriptor.data(), size, &size))
        return std::nullopt;

    // AccessCheck wants an impersonation token: a copy of the process's own.
    HANDLE processToken = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY, &processToken))
        return std::nullopt;
    HANDLE token = nullptr;
    const BOOL duplicated = DuplicateToken(processToken, SecurityImpersonation, &token);
    CloseHandle(processToken);
    if (!duplicated)
        return std::nullopt;
    GENERIC_MAPPING mapping{FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
    DWORD wanted = FILE_ADD_FILE;
    MapGenericMask(&wanted, &mapping);
    PRIVILEGE_SET privileges{};
    DWORD privilegesSize = sizeof privileges;
    DWORD granted = 0;
    BOOL allowed = FALSE;
    const BOOL checked =
        AccessCheck(descriptor.data(), token, wanted, &mapping, &privileges, &privilegesSize, &granted, &allowed);
    CloseHandle(token);
    if (!checked)
        return std::nullopt;
    return allowed != FALSE;
}

} // namespace

FileStatus SystemCatalogueFiles::createBeside(const QString& target, const QString& tag, QString& path)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString candidate = target + tag + QString::number(QRandomGenerator::global()->generate(), 36);
        Handle file(CreateFileW(wide(candidate).c_str(), GENERIC_WRITE, kShareAll, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file.valid()) {
            path = candidate;
            return {};
        }
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
            return fromError(error);
    }
    return fromError(ERROR_FILE_EXISTS);
}

FileStatus SystemCatalogueFiles::sync(const QString& path)
{
    // FlushFileBuffers needs a handle that may write.
    const Handle file = openExisting(path, GENERIC_WRITE);
    if (!file.valid())
        return lastError();
    return FlushFileBuffers(file.get()) ? FileStatus{} : lastError();
}

FileStatus SystemCatalogueFiles::keepAs(const QString& path, const QString& name)
{
    if (CreateHardLinkW(wide(name).c_str(), wide(path).c_str(), nullptr))
        return {};
    const DWORD error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS || !withoutHardLinks(error))
        return fromError(error);
    // A file system without hard links: the bytes are copied instead.
    return copyToNew(path, name);
}

FileStatus SystemCatalogueFiles::copyInto(const QString& from, const QString& to, const CopyProgress& advancing)
{
    const Handle out(CreateFileW(wide(to).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                 TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out.valid())
        return lastError();
    FileStatus status = copyBytes(from, out.get(), advancing);
    return status ? compareBack(from, out.get()) : status;
}

FileStatus SystemCatalogueFiles::rename(const QString& source, const QString& target)
{
    // Windows refuses to replace, or to move, a file another program holds open:
    // the move is tried again for a while before the file is reported in use
    // (rather than the permissions blamed).
    return whileGlancedAt([&](bool lastTry) -> std::optional<FileStatus> {
        // MOVEFILE_WRITE_THROUGH: the call returns once the new name is on the disk.
        if (MoveFileExW(wide(source).c_str(), wide(target).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return FileStatus{};
        const DWORD error = GetLastError();
        if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION)
            return fromError(error);
        const QString held = heldOpenElsewhere(target) ? target : heldOpenElsewhere(source) ? source : QString();
        if (held.isEmpty())
            return fromError(error);
        if (lastTry)
            return heldOpenStatus(held);
        return std::nullopt;
    });
}

FileStatus SystemCatalogueFiles::syncFolder(const QString& path)
{
    const QString folder = QFileInfo(path).absolutePath();
    const Handle handle = openExisting(folder, GENERIC_READ | GENERIC_WRITE, kShareAll, FILE_FLAG_BACKUP_SEMANTICS);
    if (!handle.valid()) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return fromError(error);
        // Not every file system lets a folder be opened for writing. There is no
        // other folder flush on Windows; NTFS journals its names, and the swap's
        // rename was already written through.
        return {};
    }
    // NTFS flushes a folder's entries this way; FAT and network shares refuse it,
    // for the same reasons as above that is no failure.
    FlushFileBuffers(handle.get());
    return {};
}

bool SystemCatalogueFiles::remove(const QString& path) { return DeleteFileW(wide(path).c_str()); }

bool SystemCatalogueFiles::exists(const QString& path)
{
    return GetFileAttributesW(wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool SystemCatalogueFiles::sameFile(const QString& a, const QString& b)
{
    BY_HANDLE_FILE_INFORMATION first{};
    BY_HANDLE_FILE_INFORMATION second{};
    const Handle one = openExisting(a, FILE_READ_ATTRIBUTES, kShareAll, FILE_FLAG_BACKUP_SEMANTICS);
    const Handle other = openExisting(b, FILE_READ_ATTRIBUTES, kShareAll, FILE_FLAG_BACKUP_SEMANTICS);
    return one.valid() && other.valid() && GetFileInformationByHandle(one.get(), &first) &&
           GetFileInformationByHandle(other.get(), &second) &&
           // Two names of one file: the file counts them (file indexes are not
           // unique on every file system, so they alone do not prove it).
           first.nNumberOfLinks > 1 && first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
           first.nFileIndexHigh == second.nFileIndexHigh && first.nFileIndexLow == second.nFileIndexLow;
}

QStringList SystemCatalogueFiles::filesBeside(const QString& target, const QString& tag)
{
    return filesBesideByName(target, tag);
}

bool SystemCatalogueFiles::folderWritable(const QString& target)
{
    // Windows ignores the read-only attribute on folders, and Explorer sets it on
    // the ones it customises (Documenti among them), so only the actual right to
    // write counts.
    const QString folder = QFileInfo(target).absolutePath();
    const DWORD attributes = GetFileAttributesW(wide(folder).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    if (const std::optional<bool> answer = mayAddFile(folder))
        return *answer;
    // Where the system cannot say, a file made there, hidden, and deleted as it is closed.
    for (int attempt = 0; attempt < 10; ++attempt) {
        const QString probe =
            folder + u"/.ondiva-write-test-"_s + QString::number(QRandomGenerator::global()->generate(), 36);
        const Handle file(CreateFileW(wide(probe).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                                      nullptr));
        if (file.valid())
            return true;
        if (GetLastError() != ERROR_FILE_EXISTS)
            return false;
    }
    return false;
}

namespace {

// The lock is the lock file held open with no sharing at all: the system closes
// the handle when the process ends, however it ends, and the file goes with it
// (delete on close), so a lock of a killed program is never taken for a live one.
class HandleLock : public CatalogueLock {
public:
    explicit HandleLock(HANDLE handle)
        : m_handle(handle)
    {}

private:
    Handle m_handle;
};

// Whether a file is still there but on its way out: deleted while another
// program had it open, it keeps its name, and refuses every opening, until
// that program closes it.
bool deletePending(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES && GetLastError() == ERROR_ACCESS_DENIED;
}

} // namespace

LockAttempt SystemCatalogueFiles::lockForConversion(const QString& target)
{
    // Another window holds the lock for as long as it converts or asks whether
    // to; a virus scanner or the search indexer that opens the new lock file
    // holds it for a moment only. So a lock file that cannot be opened is tried
    // again for a while, as a rename is, and only one held all that time is
    // another window's.
    const QString lockPath = target + u".lock"_s;
    const std::wstring path = wide(lockPath);
    return whileGlancedAt([&](bool lastTry) -> std::optional<LockAttempt> {
        LockAttempt attempt;
        HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            attempt.kind = LockAttempt::Kind::Acquired;
            attempt.lock = std::make_unique<HandleLock>(handle);
            return attempt;
        }
        const DWORD error = GetLastError();
        const bool held = error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
        // The lock file of a window that has let go, while another program still has it open.
        const bool leaving = error == ERROR_ACCESS_DENIED && deletePending(path);
        if (!held && !leaving) {
            attempt.status = fromError(error);
            return attempt;
        }
        if (!lastTry)
            return std::nullopt;
        if (held)
            attempt.kind = LockAttempt::Kind::HeldElsewhere;
        else
            attempt.status = heldOpenStatus(lockPath);
        return attempt;
    });
}

std::unique_ptr<CatalogueFiles> systemCatalogueFiles() { return std::make_unique<SystemCatalogueFiles>(); }

} // namespace ondiva
