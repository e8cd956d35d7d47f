#include "Screenshots.h"

#include "PrintDialog.h"
#include "UniqueFd.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QPixmap>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace tessaron::print {

namespace {

// The directory may be a shared one: never write through a link planted there.
bool writeFile(const QString& path, const QByteArray& bytes, QString& error) {
    UniqueFd fd(::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (!fd) {
        error = QStringLiteral("cannot write %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd.get(), bytes.constData() + written, static_cast<size_t>(bytes.size() - written));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        written += n;
    }
    const bool ok = written == bytes.size() && fd.close();
    if (!ok) error = QStringLiteral("cannot write %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
    return ok;
}

}  // namespace

QString screenshotFileName(int index, const QString& name) {
    QString slug;
    bool dash = false;
    for (const QChar c : name.toLower()) {
        if (c.isLetterOrNumber() && c.unicode() < 128) {
            if (dash && !slug.isEmpty()) slug += QLatin1Char('-');
            slug += c;
            dash = false;
        } else {
            dash = true;
        }
    }
    if (slug.isEmpty()) slug = QStringLiteral("page");
    return QStringLiteral("%1-%2.png").arg(index + 1, 2, 10, QLatin1Char('0')).arg(slug);
}

QStringList writeScreenshots(PrintDialog& dialog, const QString& directory, QString& error) {
    QStringList written;
    if (!QDir().mkpath(directory)) {
        error = QStringLiteral("cannot create the directory %1").arg(directory);
        return written;
    }
    dialog.show();
    for (int page = 0; page < dialog.pageCount(); ++page) {
        dialog.showPage(page);
        QCoreApplication::processEvents();
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        if (!dialog.grab().save(&buffer, "PNG")) {
            error = QStringLiteral("cannot render the page \"%1\"").arg(dialog.pageName(page));
            return written;
        }
        const QString path = QDir(directory).filePath(screenshotFileName(page, dialog.pageName(page)));
        if (!writeFile(path, png, error)) return written;
        written << path;
    }
    dialog.hide();
    return written;
}

}  // namespace tessaron::print
