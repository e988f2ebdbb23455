#include "widgetquestions.h"

#include "nametext.h"

#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>

int WidgetQuestions::execDialog(QDialog &dialog)
{
    return dialog.exec();
}

std::optional<QString> WidgetQuestions::getText(QWidget *parent, const QString &caption,
                                                const QString &label, const QString &initial,
                                                int maxLength)
{
    QInputDialog dialog(parent);
    dialog.setWindowTitle(caption);
    dialog.setInputMode(QInputDialog::TextInput);
    // The label names files: plain text, and its buddy must not make "&" a shortcut marker.
    // The dialog lays itself out, giving the label its buddy, when first asked for its size.
    dialog.setLabelText(label);
    (void)dialog.sizeHint();
    if (auto *text = dialog.findChild<QLabel *>()) {
        text->setTextFormat(Qt::PlainText);
        if (text->buddy())
            dialog.setLabelText(withLiteralAmpersands(label));
    }
    dialog.setTextValue(initial);
    if (auto *edit = dialog.findChild<QLineEdit *>()) {
        edit->setMaxLength(maxLength);
        edit->setText(initial.left(maxLength));
        edit->selectAll();
    }
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue();
}

std::optional<QString> WidgetQuestions::getSaveFileName(QWidget *parent, const QString &title,
                                                        const QString &proposedPath,
                                                        const QString &filter,
                                                        const QString &defaultSuffix)
{
    QFileDialog dialog(parent, title);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(filter);
    // Added to a name typed without an extension.
    dialog.setDefaultSuffix(defaultSuffix);
    // Replacing an existing file is asked first.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    dialog.setSizeGripEnabled(true);
    if (!proposedPath.isEmpty()) {
        const QFileInfo proposed(proposedPath);
        dialog.setDirectory(proposed.absolutePath());
        dialog.selectFile(proposed.fileName());
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

std::optional<QString> WidgetQuestions::getExistingDirectory(QWidget *parent, const QString &title,
                                                             const QString &startFolder)
{
    const QString dir = QFileDialog::getExistingDirectory(parent, title, startFolder);
    if (dir.isEmpty())
        return std::nullopt;
    return dir;
}

void WidgetQuestions::critical(QWidget *parent, const QString &message)
{
    // Messages may quote names: plain text.
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Trackling"), message, QMessageBox::Ok,
                    parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

bool WidgetQuestions::question(QWidget *parent, const QString &text)
{
    return QMessageBox::question(parent, QStringLiteral("Trackling"), text,
                                 QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}
