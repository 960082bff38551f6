#include "creationdates/TreeWalk.h"

#include <QFile>

#include <vector>

namespace tw {

namespace fs = std::filesystem;

namespace {

fs::path toNative(const QString &path)
{
    return fs::path(QFile::encodeName(path).toStdString());
}

QString fromNative(const fs::path &path)
{
    return QFile::decodeName(QByteArray::fromStdString(path.native()));
}

} // namespace

void TreeWalk::walk(const QString &root, const Visitor &visit, const std::atomic_bool *stop)
{
    const fs::path start = toNative(root);
    std::vector<fs::path> pending{start};
    while (!pending.empty()) {
        const fs::path directory = std::move(pending.back());
        pending.pop_back();
        std::error_code error;
        // A directory seen earlier may have been swapped for a link since; the
        // root itself may be one.
        if (directory != start && fs::symlink_status(directory, error).type() != fs::file_type::directory)
            continue;
        fs::directory_iterator it(directory, error);
        for (; !error && it != fs::directory_iterator(); it.increment(error)) {
            if (stop && stop->load(std::memory_order_relaxed))
                return;
            std::error_code typeError;
            const fs::file_type type = it->symlink_status(typeError).type();
            if (typeError)
                continue;
            const fs::path &path = it->path();
            const bool descend = visit(fromNative(path), fromNative(path.filename()), type);
            if (descend && type == fs::file_type::directory)
                pending.push_back(path);
        }
    }
}

} // namespace tw
