#pragma once

#include <QString>
#include <functional>
#include <optional>

class PreviewPlayer;

inline constexpr char16_t kPlayFileCaption[] = u"Play file"; // the button's caption at start
inline constexpr char16_t kStopCaption[] = u"Stop";
inline constexpr char16_t kPlayCaption[] = u"Play";

// The "Play file" toggle and the stop of the exit button. The file name is the only state: empty
// when idle, the full path of the opened file while a preview counts as playing (also after the
// file has played to its end).
class PreviewControl
{
public:
    using TextHandler = std::function<void(const QString &)>;

    // setCaption shows a caption on the button; showError shows a player failure to the user.
    // The player must outlive the control.
    PreviewControl(PreviewPlayer &player, TextHandler setCaption, TextHandler showError);
    ~PreviewControl();
    PreviewControl(const PreviewControl &) = delete;
    PreviewControl &operator=(const PreviewControl &) = delete;

    // A press of the button: stops a running preview (even if another item is current now);
    // otherwise plays currentItem (a bare file name) of folder, and does nothing without one.
    void toggle(const QString &folder, const std::optional<QString> &currentItem);
    // The exit button's first step: stops a running preview; no player request when idle.
    void stopForExit();

    QString fileName() const { return m_fileName; }

private:
    void stopAndClose();
    void onPlayerError(const QString &message);

    PreviewPlayer &m_player;
    TextHandler m_setCaption;
    TextHandler m_showError;
    QString m_fileName;
};
