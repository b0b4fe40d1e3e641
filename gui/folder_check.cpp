#include "gui/folder_check.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include <QCoreApplication>

#include "gui/text.h"

namespace kv::gui {
namespace {

namespace fsys = std::filesystem;

// A reason in the language of the windows (English where no translation is installed), as
// Windows-1252 bytes, its %1 and %2 filled with `a` and `b`.
std::string fill(QString text, const std::string& a = {}, const std::string& b = {}) {
    if (text.contains(QLatin1String("%1"))) text = text.arg(from_ansi(a));
    if (text.contains(QLatin1String("%1"))) text = text.arg(from_ansi(b));
    return to_ansi(text);
}

// The first part of the path that is not there ("/media/anna/CHIAVETTA" of
// "/media/anna/CHIAVETTA/giochi" when the stick is not mounted).
std::string first_missing(const fsys::path& path) {
    fsys::path so_far;
    for (const auto& part : path) {
        so_far /= part;
        struct stat st {};
        if (::stat(so_far.c_str(), &st) != 0 && errno == ENOENT) return so_far.string();
    }
    return path.string();
}

std::string because(int error, const std::string& path) {
    switch (error) {
        case ENOENT: {
            const std::string missing = first_missing(path);
            if (missing == path)
                return fill(QCoreApplication::translate("Folders", "the folder does not exist"));
            return fill(QCoreApplication::translate("Folders",
                                                    "the folder does not exist (there is no %1)"),
                        missing);
        }
        case ENOTDIR:
            return fill(QCoreApplication::translate("Folders",
                                                    "not a folder (a part of the path is a file)"));
        case EACCES:
        case EPERM:
            return fill(QCoreApplication::translate(
                "Folders", "permission denied: this user may not enter the folder"));
        case EROFS:
            return fill(QCoreApplication::translate("Folders", "the disk is read-only"));
        case ENAMETOOLONG:
            return fill(QCoreApplication::translate("Folders", "the path is too long"));
        case ELOOP:
            return fill(QCoreApplication::translate(
                "Folders", "the path goes round in circles (symbolic links)"));
        default:
            return std::error_code(error, std::generic_category()).message();
    }
}

// The nearest folder above a missing one that is there.
fsys::path existing_parent(fsys::path path) {
    while (path.has_relative_path()) {
        path = path.parent_path();
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0) return path;
    }
    return path;
}

}  // namespace

std::string why_folder_unusable(const std::string& folder, FolderUse use) {
    if (folder.empty()) return fill(QCoreApplication::translate("Folders", "no folder given"));
    std::error_code ec;
    const fsys::path path = fsys::absolute(folder, ec);
    if (ec) return because(ec.value(), folder);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        const int error = errno;
        if (error != ENOENT || use != FolderUse::MakeOrWrite) return because(error, path.string());
        // Missing: it can be made where the nearest folder above it takes new folders.
        const fsys::path parent = existing_parent(path);
        struct stat pst {};
        if (::stat(parent.c_str(), &pst) != 0 || !S_ISDIR(pst.st_mode))
            return because(ENOTDIR, path.string());
        if (::access(parent.c_str(), W_OK | X_OK) != 0)
            return fill(QCoreApplication::translate(
                            "Folders", "the folder does not exist and cannot be made in %1: %2"),
                        parent.string(), because(errno, parent.string()));
        return {};
    }
    if (!S_ISDIR(st.st_mode)) return fill(QCoreApplication::translate("Folders", "not a folder"));
    if (::access(path.c_str(), X_OK) != 0) return because(errno, path.string());
    if (use == FolderUse::Enter) return {};
    if (::access(path.c_str(), W_OK) != 0) {
        const int error = errno;
        if (error == EACCES || error == EPERM)
            return fill(QCoreApplication::translate(
                "Folders", "permission denied: this user may not write in the folder"));
        return because(error, path.string());
    }
    return {};
}

std::string make_folder(const std::string& folder) {
    std::error_code ec;
    fsys::create_directories(folder, ec);
    if (ec) return because(ec.value(), folder);
    return {};
}

}  // namespace kv::gui
