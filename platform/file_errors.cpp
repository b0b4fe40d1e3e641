// The module's last-error record and the mapping of Linux errors to Windows codes.
#include <cerrno>
#include <cstring>

#include "platform/file_internal.h"
#include "platform/texts.h"

namespace kv::platform {

namespace {
thread_local FileError t_last_error;
}  // namespace

namespace detail {

int win32_from_errno(int posix) {
    switch (posix) {
        case 0:
            return win_error::SUCCESS;
        case ENOENT:
            return win_error::FILE_NOT_FOUND;
        case ENOTDIR:
            return win_error::PATH_NOT_FOUND;
        case EMFILE:
        case ENFILE:
            return win_error::TOO_MANY_OPEN_FILES;
        case EACCES:
        case EPERM:
        case EISDIR:
            return win_error::ACCESS_DENIED;
        case EBADF:
            return win_error::INVALID_HANDLE;
        case ENOMEM:
            return win_error::NOT_ENOUGH_MEMORY;
        case EXDEV:
            return win_error::NOT_SAME_DEVICE;
        case EROFS:
            return win_error::WRITE_PROTECT;
        case EIO:
        case ENXIO:
        case ENODEV:
            return win_error::NOT_READY;
        case EBUSY:
        case ETXTBSY:
            return win_error::SHARING_VIOLATION;
        case EAGAIN:
            return win_error::LOCK_VIOLATION;
        case EEXIST:
            return win_error::ALREADY_EXISTS;
        case EINVAL:
            return win_error::INVALID_PARAMETER;
        case ENOSPC:
        case EDQUOT:
            return win_error::DISK_FULL;
        case EILSEQ:
            return win_error::INVALID_NAME;
        case ENOTEMPTY:
            return win_error::DIR_NOT_EMPTY;
        case ENAMETOOLONG:
            return win_error::FILENAME_EXCED_RANGE;
        default:
            return win_error::GEN_FAILURE;
    }
}

bool fail(int win32, int posix) {
    t_last_error = FileError{win32, posix};
    return false;
}

bool fail_errno(int posix) {
    return fail(win32_from_errno(posix), posix);
}

}  // namespace detail

FileError last_file_error() {
    return t_last_error;
}

std::string file_error_text(const FileError& error) {
    if (error.posix != 0) return system_error_text(error.posix);
    switch (error.win32) {
        case win_error::SUCCESS:
            return "No error";
        case win_error::FILE_NOT_FOUND:
            return "File not found";
        case win_error::PATH_NOT_FOUND:
            return "Path not found";
        case win_error::ACCESS_DENIED:
            return "Access denied";
        case win_error::SHARING_VIOLATION:
            return "File in use by another open";
        case win_error::ALREADY_EXISTS:
        case win_error::FILE_EXISTS:
            return "File exists";
        case win_error::DIR_NOT_EMPTY:
            return "Folder not empty";
        case win_error::DIRECTORY:
            return "Not a folder";
        case win_error::CURRENT_DIRECTORY:
            return "Folder in use as current folder";
        case win_error::INVALID_NAME:
            return "Invalid name";
        case win_error::FILENAME_EXCED_RANGE:
            return "Name too long";
        case win_error::DISK_FULL:
        case win_error::HANDLE_DISK_FULL:
            return "Disk full";
        // The codes that stand for a failure of the system below: its own words.
        case win_error::NOT_READY:
        case win_error::GEN_FAILURE:
            return std::strerror(EIO);
        case win_error::WRITE_PROTECT:
            return std::strerror(EROFS);
        case win_error::TOO_MANY_OPEN_FILES:
            return std::strerror(EMFILE);
        case win_error::NOT_ENOUGH_MEMORY:
            return std::strerror(ENOMEM);
        case win_error::INVALID_HANDLE:
            return std::strerror(EBADF);
        case win_error::NOT_SAME_DEVICE:
            return std::strerror(EXDEV);
        case win_error::INVALID_PARAMETER:
            return std::strerror(EINVAL);
        default:
            return "Error " + std::to_string(error.win32);
    }
}

}  // namespace kv::platform
