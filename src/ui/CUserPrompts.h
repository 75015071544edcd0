#pragma once

#include <QHash>
#include <QString>

#include <functional>

class QWidget;

// The questions and messages the window puts to the user in a dialog of its
// own: file and folder choosers and error boxes. Each is a replaceable
// function, so that the window can be driven without a person.
struct CUserPrompts {
    struct SFileRequest {
        bool bSave = false;
        QString strFilter;         // "text (*.x);;All Files (*.*)"
        QString strDefaultSuffix;  // added to a name typed without one
        QString strStartFolder;    // where the dialog opens; empty: the home folder
    };

    // The chosen file's path; empty when the user cancelled.
    std::function<QString(QWidget* pParent, const SFileRequest& request)> ChooseFile = ChooseFileWithDialog;
    // The chosen folder; empty when the user cancelled.
    std::function<QString(QWidget* pParent, const QString& strTitle, const QString& strStart)> ChooseFolder =
        ChooseFolderWithDialog;
    // An error message box with the application's name as its caption.
    std::function<void(QWidget* pParent, const QString& strText)> ShowError = ShowErrorBox;

    // ChooseFile opening in the folder of the last file chosen for the
    // request's suffix, which it then remembers.
    QString ChooseFileInLastFolder(QWidget* pParent, SFileRequest request);
    // The last folder of each suffix's file dialog, kept between starts.
    QHash<QString, QString> lastFolders;

    static QString ChooseFileWithDialog(QWidget* pParent, const SFileRequest& request);
    static QString ChooseFolderWithDialog(QWidget* pParent, const QString& strTitle, const QString& strStart);
    static void ShowErrorBox(QWidget* pParent, const QString& strText);
};
