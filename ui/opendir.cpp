#include "ui/opendir.h"

#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QStorageInfo>

#include "ui/modal.h"

namespace zantrel {

namespace {

// Tells the component when its dialog has been shown.
class ShowWatcher final : public QObject {
public:
    explicit ShowWatcher(std::function<void()> onShow) : onShow_(std::move(onShow)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && onShow_)
            onShow_();
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> onShow_;
};

QString WithoutTrailingSlash(QString path) {
    while (path.size() > 1 && path.endsWith('/') && !(path.size() == 2 && path == "//"))
        path.chop(1);
    return path;
}

} // namespace

QString NetworkFormOf(const QString& folder) {
    const QStorageInfo storage(folder);
    if (!storage.isValid())
        return {};
    const QByteArray type = storage.fileSystemType();
    QString share = QString::fromLocal8Bit(storage.device());
    if (type == "cifs" || type == "smb3" || type == "smbfs") {
        // The device is already "//server/share".
    } else if (type.startsWith("nfs")) {
        const qsizetype colon = share.indexOf(':');
        if (colon <= 0)
            return {};
        share = "//" + share.left(colon) + share.mid(colon + 1);
    } else {
        return {};
    }
    QString rest = QDir::cleanPath(folder).mid(QDir::cleanPath(storage.rootPath()).size());
    if (!rest.isEmpty() && !rest.startsWith('/'))
        rest.prepend('/');
    return WithoutTrailingSlash(share) + rest;
}

bool TOpenDirectory::Execute() {
    directory_.clear();
    uncDirectory_.clear();

    QFileDialog dialog(parent_);
    if (!Title.isEmpty())
        dialog.setWindowTitle(Title);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    dialog.setSizeGripEnabled(EnableSizing);
    dialog.setDirectory(InitialDirectory.isEmpty() ? QDir::currentPath() : InitialDirectory);

    QObject::connect(&dialog, &QFileDialog::directoryEntered, &dialog, [this, &dialog] {
        if (OnFolderChange)
            OnFolderChange(dialog);
    });
    QObject::connect(&dialog, &QFileDialog::currentChanged, &dialog, [this, &dialog] {
        if (OnFolderChange)
            OnFolderChange(dialog);
    });
    QObject::connect(&dialog, &QDialog::finished, &dialog, [this, &dialog] {
        if (OnClose)
            OnClose(dialog);
    });
    ShowWatcher watcher([this, &dialog] {
        if (OnShow)
            OnShow(dialog);
    });
    dialog.installEventFilter(&watcher);

    const int result = RunModal(dialog);
    dialog.removeEventFilter(&watcher);
    const QStringList chosen = dialog.selectedFiles();
    if (result != QDialog::Accepted || chosen.isEmpty() || chosen.first().isEmpty())
        return false;

    const QString folder = WithoutTrailingSlash(chosen.first());
    if (folder.startsWith("//")) {
        // Reached by a network path alone: there is no local form.
        uncDirectory_ = folder;
        if (!NoChangeDir)
            QDir::setCurrent(uncDirectory_);
    } else {
        directory_ = folder;
        uncDirectory_ = NetworkFormOf(folder);
        if (!NoChangeDir)
            QDir::setCurrent(directory_);
    }
    return true;
}

} // namespace zantrel
