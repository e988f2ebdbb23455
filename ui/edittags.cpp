#include "edittags.h"

#include "fieldstate.h"
#include "filelist.h"
#include "filenames.h"
#include "tagfile.h"
#include "tagworkspace.h"
#include "tform2.h"
#include "widgetquestions.h"

#include <QFile>

void editTags(FileList &list)
{
    walkSelection(list, [](int, const QString &name) { editTagOfFile(name); });
}

void editTagOfFile(const QString &fileName)
{
    TForm2 &dialog = *Form2;
    TagWorkspace &ws = tagWorkspace();
    const std::string path = encodeFileName(fileName).toStdString();

    dialog.setWindowTitle(QStringLiteral("Edit tag"));
    dialog.Panel6->setText(fileName);
    ws.clearForEdit();
    ReadTagFile(path, AudioLength::CountFrames); // one file shown: count VBR frames

    dialog.Edit1->setText(fromLatin1(ws.SongTitle));
    dialog.Edit2->setText(fromLatin1(ws.SongArtist));
    dialog.Edit3->setText(fromLatin1(ws.SongAlbum));
    dialog.MaskEdit1->setText(fromLatin1(ws.SongYear));
    dialog.Edit4->setText(fromLatin1(ws.SongComment));
    dialog.ComboBox1->setCurrentIndex(
        ws.SongGenre.empty()
            ? -1
            : dialog.ComboBox1->findText(fromLatin1(ws.SongGenre), Qt::MatchFixedString));
    const QStringList info = {
        QStringLiteral("Size: ") + fromLatin1(ws.InfoSize) + QStringLiteral(" bytes"),
        QStringLiteral("Length: ") + fromLatin1(ws.InfoLength) + QStringLiteral(" minutes"),
        QString(),
        fromLatin1(ws.InfoVersion),
        fromLatin1(ws.InfoBitrate),
        fromLatin1(ws.InfoSampleRate),
        fromLatin1(ws.InfoChannelMode),
    };
    dialog.Memo1->setPlainText(info.join(u'\n'));
    for (QWidget *field :
         {static_cast<QWidget *>(dialog.Edit2), static_cast<QWidget *>(dialog.Edit3),
          static_cast<QWidget *>(dialog.MaskEdit1), static_cast<QWidget *>(dialog.ComboBox1)})
        setFieldEnabled(field, true);
    dialog.Edit1->setFocus();

    if (modalQuestions().execDialog(dialog) != TForm2::SaveResult)
        return;

    ws.SongTitle = toLatin1(dialog.Edit1->text());
    ws.SongArtist = toLatin1(dialog.Edit2->text());
    ws.SongAlbum = toLatin1(dialog.Edit3->text());
    // displayText keeps the positions: an empty one reads as a blank.
    ws.SongYear = toLatin1(dialog.MaskEdit1->displayText());
    ws.SongComment = toLatin1(dialog.Edit4->text());
    ws.SongGenre =
        dialog.ComboBox1->currentIndex() >= 0 ? toLatin1(dialog.ComboBox1->currentText()) : "";
    WriteTagFile(path);
}
