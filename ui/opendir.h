// TOpenDirectory: a folder chooser over the platform's file dialog in
// directory mode. Execute shows it modally; Directory and UncDirectory hold
// the folder that was accepted.
#pragma once

#include <QString>
#include <functional>

class QFileDialog;
class QWidget;

namespace zantrel {

class TOpenDirectory {
public:
    explicit TOpenDirectory(QWidget* parent = nullptr) : parent_(parent) {}

    bool EnableSizing = true;
    // Leave the process's current folder as it was after acceptance.
    bool NoChangeDir = false;
    // Empty leaves the platform's default title.
    QString Title;
    // The events get the running dialog as their sender.
    std::function<void(QFileDialog& sender)> OnShow;
    std::function<void(QFileDialog& sender)> OnFolderChange;
    std::function<void(QFileDialog& sender)> OnClose;

    // Where the dialog opens; empty means the process's current folder.
    QString InitialDirectory;

    // The accepted folder as a local path; empty when it was reached by a
    // network path ("//server/share/...") only.
    const QString& Directory() const { return directory_; }
    // The accepted folder in network form when it lies on a network share;
    // empty for a local folder.
    const QString& UncDirectory() const { return uncDirectory_; }

    // Shows the dialog modally; true when a folder was accepted.
    bool Execute();

private:
    QWidget* parent_;
    QString directory_;
    QString uncDirectory_;
};

// The network form ("//server/share/path") of a folder on a mounted SMB or
// NFS share; empty for anything else.
QString NetworkFormOf(const QString& folder);

} // namespace zantrel
