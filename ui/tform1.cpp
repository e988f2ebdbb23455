#include "tform1.h"

#include "filenames.h"
#include "nametext.h"

#include "commandrunner.h"
#include "dropdownlist.h"
#include "edittags.h"
#include "fieldstate.h"
#include "genres.h"
#include "handler.h"
#include "pathdrop.h"
#include "pictures.h"
#include "playlistbrowser.h"
#include "previewcontrol.h"
#include "previewplayer.h"
#include "reporttext.h"
#include "resultnotice.h"
#include "session.h"
#include "tagfield.h"
#include "version.h"
#include "windowquestions.h"

#include <QApplication>
#include <QDir>
#include <QGroupBox>
#include <QKeyEvent>
#include <QMenu>
#include <QRadioButton>
#include <QTimer>

TForm1 *Form1 = nullptr;

TForm1::TForm1(QWidget *parent) : QWidget(parent)
{
    Form1 = this;
    m_questions =
        std::make_unique<WindowQuestions>(this, [this] { FileListBox1->flushPendingUnselect(); });
    setupUi(this);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(681, 409);

    setWindowTitle(QStringLiteral("Trackling " TRACKLING_VERSION));
    Label1->setText(QStringLiteral("Version " TRACKLING_VERSION
                                   " (Jan-99)  \u2013  free ID3 tag tool for your MP3s"));
    Label1->setFont(font());
    ComboBox1->addItems(genreNames());
    ComboBox1->setCurrentIndex(-1);
    setDropDownRows(ComboBox1, 13);
    for (QLineEdit *field : {Edit1, Edit2, Edit3})
        limitTagField(field);
    QWidget::setTabOrder(Edit3, RadioGroup1->button(0));
    QWidget::setTabOrder(RadioGroup1->button(0), RadioGroup1->button(1));
    QWidget::setTabOrder(RadioGroup1->button(1), RadioGroup1->button(2));
    QWidget::setTabOrder(RadioGroup1->button(2), CheckBox1);
    drawPictures();
    for (QGroupBox *frame : findChildren<QGroupBox *>())
        frame->setStyleSheet(QString::fromLatin1(groupFrameStyle));
    fitCaptions(this);

    DirectoryListBox1->setFileList(FileListBox1);
    DirectoryListBox1->setQuestions(m_questions.get());
    DriveComboBox1->setDirectoryList(DirectoryListBox1);
    DriveComboBox1->setQuestions(m_questions.get());
    FileListBox1->setMask(QStringLiteral("*.mp3"));
    openStartFolder();

    m_session = std::make_unique<CommandSession>();
    m_playlistBrowser =
        std::make_unique<DirectoryPlaylistBrowser>(*DirectoryListBox1, *FileListBox1);
    m_notice = new ResultNotice(this, FileListBox1);
    m_notice->setReserveSpace([this](int height) { FileListBox1->reserveBottom(height); });
    m_runner = std::make_unique<CommandRunner>(*m_notice,
                                               [this] { FileListBox1->flushPendingUnselect(); });
    connect(m_notice, &ResultNotice::stopRequested, this, [this] { m_runner->requestStop(); });
    buildPopupMenu();
    addFilesLeftToMenu();
    connectHandlers();
    qApp->installEventFilter(this);
    acceptPathDrops(this);
    FormCreate();
}

TForm1::~TForm1()
{
    // The toggle detaches from its player before the player goes.
    m_preview.reset();
    m_ownPlayer.reset();
    if (Form1 == this)
        Form1 = nullptr;
}

void TForm1::drawPictures()
{
    const qreal dpr = std::max<qreal>(1.0, qApp->devicePixelRatio());
    Image1->setPixmap(bannerPicture(dpr));
    for (auto [button, words] : {std::pair{BitBtn1, "TAG'EM!"}, std::pair{BitBtn2, "EXIT!"}}) {
        // The style shows a button's picture in its active form while the button has the focus.
        QIcon icon(buttonPicture(QString::fromLatin1(words), dpr));
        icon.addPixmap(buttonPicture(QString::fromLatin1(words), dpr, true), QIcon::Active);
        button->setIcon(icon);
    }
}

void TForm1::addFilesLeftToMenu()
{
    // Offered while a notice tells of files left as they were: its list, from the keyboard too.
    QAction *separator = PopupMenu1->addSeparator();
    FilesLeft1 = PopupMenu1->addAction(QStringLiteral("Files left as they were"));
    connect(PopupMenu1, &QMenu::aboutToShow, this, [this, separator] {
        const bool offered = m_notice->hasDetails();
        separator->setVisible(offered);
        FilesLeft1->setVisible(offered);
    });
    connect(FilesLeft1, &QAction::triggered, m_notice, &ResultNotice::showDetails);
}

void TForm1::openStartFolder()
{
    // The working directory at start-up; should it be gone, the home folder, then the root.
    for (const QString &folder : {currentFolder(), QDir::homePath(), QStringLiteral("/")}) {
        if (folder.isEmpty())
            continue;
        try {
            DirectoryListBox1->setDirectory(folder);
            return;
        } catch (const std::exception &) {
        }
    }
}

void TForm1::connectHandlers()
{
    connect(DirectoryListBox1, &TDirectoryListBox::changed, this, &TForm1::DirectoryListBox1Change);
    connect(FileListBox1, &QAbstractItemView::doubleClicked, this, &TForm1::FileListBox1DblClick);
    connect(RadioGroup1, &TRadioGroup::clicked, this, &TForm1::RadioGroup1Click);
    connect(CheckBox2, &QCheckBox::clicked, this, &TForm1::CheckBox2Click);
    connect(Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm1::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TForm1::Button3Click);
    connect(Button4, &QPushButton::clicked, this, &TForm1::Button4Click);
    connect(Button5, &QPushButton::clicked, this, &TForm1::Button5Click);
    connect(Button6, &QPushButton::clicked, this, &TForm1::Button6Click);
    connect(Button7, &QPushButton::clicked, this, &TForm1::Button7Click);
    connect(Button8, &QPushButton::clicked, this, &TForm1::Button8Click);
    connect(BitBtn1, &QPushButton::clicked, this, &TForm1::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TForm1::BitBtn2Click);
    connect(FileListBox1, &QWidget::customContextMenuRequested, this,
            &TForm1::FileListBox1ContextPopup);
    connect(EditTags1, &QAction::triggered, this, &TForm1::Button7Click);
    connect(RenameFiles1, &QAction::triggered, this, &TForm1::Button4Click);
    connect(TrimFilenames1, &QAction::triggered, this, &TForm1::Button3Click);
    connect(RenameFromTags1, &QAction::triggered, this, &TForm1::Button6Click);
    connect(ID3v1FromID3v21, &QAction::triggered, this, &TForm1::ID3v1FromID3v21Click);
    connect(ID3v2FromID3v11, &QAction::triggered, this, &TForm1::ID3v2FromID3v11Click);
}

void TForm1::FormCreate()
{
    QApplication::setApplicationName(QStringLiteral("Trackling"));
    ComboBox1->setCurrentIndex(0);
    UpdateFormatControls();
}

void TForm1::UpdateFormatControls()
{
    setFieldEnabled(Edit1, RadioGroup1->itemIndex() == 0);
}

namespace
{

// The events by which a person acts on the window.
bool isInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
    case QEvent::InputMethod:
        return true;
    default:
        return false;
    }
}

} // namespace

bool TForm1::filterWhileBusy(QWidget *target, QEvent *event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
        if (static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape)
            m_runner->requestStop();
        return true;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
        // "Stop" on the notice still answers.
        return !(target == m_notice || m_notice->isAncestorOf(target));
    default:
        return true;
    }
}

bool TForm1::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (m_runner && isInput(type) && watched->isWidgetType() &&
        static_cast<QWidget *>(watched)->window() == this) {
        auto *target = static_cast<QWidget *>(watched);
        if (m_runner->busy())
            return filterWhileBusy(target, event);
        // The next action (a click in the window, or a key below) takes the last notice away.
        if (type == QEvent::MouseButtonPress && target != m_notice &&
            !m_notice->isAncestorOf(target))
            m_notice->dismiss();
    }
    if (event->type() == QEvent::KeyPress && watched->isWidgetType()) {
        if (static_cast<QWidget *>(watched)->window() == this) {
            const auto *key = static_cast<QKeyEvent *>(event);
            const SeenKey seen{event, key->key(), key->modifiers(), key->timestamp()};
            if (!(seen == m_lastKeyPress)) {
                m_lastKeyPress = seen;
                // The file list's menu from the keyboard; it keeps the notice, whose files left
                // it offers.
                if (watched == FileListBox1 && isContextMenuKey(*key)) {
                    openFileListMenu();
                    return true;
                }
                if (m_notice)
                    m_notice->dismiss();
                // A key the window acts on alone goes no further, so it is never acted on
                // twice (a question asked meanwhile may end the key's press in its own window).
                if (FormKeyDown(key->key(), key->modifiers()))
                    return true;
                // Enter in the file list does what a double click does.
                if (watched == FileListBox1 &&
                    (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
                    FileListBox1DblClick();
                    return true;
                }
            }
        }
    } else if (event->type() == QEvent::KeyRelease && watched->isWidgetType() &&
               static_cast<QWidget *>(watched)->window() == this) {
        m_lastKeyPress = {};
    }
    return false; // the focused control still gets the key
}

bool TForm1::FormKeyDown(int key, Qt::KeyboardModifiers shift)
{
    // F2 presses "Rename file(s)" (whatever modifiers are held).
    if (key == Qt::Key_F2) {
        Button4->click();
        return true;
    }
    if (key == Qt::Key_C && (shift & Qt::ControlModifier))
        Button1Click();
    if (key == Qt::Key_A && (shift & Qt::ControlModifier))
        Button2Click();
    // Ctrl+Z and Ctrl+Shift+Z undo and redo commands, except in a text field, where they keep
    // undoing and redoing the typing.
    if (key == Qt::Key_Z && (shift & Qt::ControlModifier) && !typingHasFocus()) {
        if (shift & Qt::ShiftModifier)
            Redo();
        else
            Undo();
        return true;
    }
    return false;
}

bool TForm1::isContextMenuKey(const QKeyEvent &key)
{
    const Qt::KeyboardModifiers mods = key.modifiers() & ~Qt::KeypadModifier;
    return (key.key() == Qt::Key_Menu && mods == Qt::NoModifier) ||
           (key.key() == Qt::Key_F10 && mods == Qt::ShiftModifier);
}

void TForm1::openFileListMenu()
{
    // At the current item when it is in sight, else at the list's top left corner.
    const QRect item = FileListBox1->visualRect(FileListBox1->currentIndex());
    const QRect inside = FileListBox1->viewport()->rect();
    FileListBox1ContextPopup(item.isValid() && inside.intersects(item) ? item.bottomLeft()
                                                                       : inside.topLeft());
}

void TForm1::Button1Click()
{
    runHandler(questions(), [this] { FileListBox1->clearFileSelection(); });
}

void TForm1::Button2Click()
{
    runHandler(questions(), [this] { FileListBox1->selectAllFiles(); });
}

void TForm1::closeEvent(QCloseEvent *event)
{
    if (m_runner->busy()) {
        m_closeWhenDone = true;
        m_runner->requestStop();
        event->ignore();
        return;
    }
    m_notice->dismiss();
    QWidget::closeEvent(event);
}

void TForm1::Button7Click()
{
    runCommand(CommandKind::EditTags);
}

void TForm1::FileListBox1DblClick()
{
    Button7Click();
}

void TForm1::BitBtn2Click()
{
    runHandler(questions(), [this] {
        // A running preview is stopped first; a failure to stop it ends the handler before the
        // program is ended.
        if (m_preview)
            m_preview->stopForExit();
        QCoreApplication::exit(0);
    });
}
