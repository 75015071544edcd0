#include "CUserPrompts.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

QString CUserPrompts::ChooseFileWithDialog(QWidget* pParent, const SFileRequest& request)
{
    QFileDialog dialog(pParent);
    dialog.setAcceptMode(request.bSave ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(request.bSave ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilter(request.strFilter);
    dialog.setDefaultSuffix(request.strDefaultSuffix);
    dialog.setDirectory(!request.strStartFolder.isEmpty() && QDir(request.strStartFolder).exists()
                            ? request.strStartFolder
                            : QDir::homePath());
    // A save asks before it replaces an existing file (Qt's default).
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}

QString CUserPrompts::ChooseFileInLastFolder(QWidget* pParent, SFileRequest request)
{
    request.strStartFolder = lastFolders.value(request.strDefaultSuffix);
    const QString strPath = ChooseFile(pParent, request);
    if (!strPath.isEmpty())
        lastFolders.insert(request.strDefaultSuffix, QFileInfo(strPath).absolutePath());
    return strPath;
}

QString CUserPrompts::ChooseFolderWithDialog(QWidget* pParent, const QString& strTitle, const QString& strStart)
{
    return QFileDialog::getExistingDirectory(pParent, strTitle, strStart, QFileDialog::ShowDirsOnly);
}

void CUserPrompts::ShowErrorBox(QWidget* pParent, const QString& strText)
{
    QMessageBox::critical(pParent, QCoreApplication::applicationName(), strText);
}
