#pragma once

#include "modalquestions.h"

#include <QDialog>
#include <QLabel>
#include <QStringList>
#include <QTemporaryDir>
#include <deque>
#include <functional>
#include <vector>

// Answers the main window's modal questions from a script and records what was asked; put in
// for the window's life once the windows exist.
class FakeQuestions : public ModalQuestions
{
public:
    FakeQuestions();
    ~FakeQuestions() override;

    // Each shown dialog takes the next answer: it may change the dialog and returns the result.
    std::deque<std::function<int(QDialog &)>> dialogAnswers;
    std::deque<std::optional<QString>> textAnswers;
    std::deque<std::optional<QString>> saveAnswers;
    std::deque<std::optional<QString>> directoryAnswers;

    int dialogs = 0;
    QStringList texts; // labels of getText
    struct SaveRequest {
        QString title, proposedPath, filter, suffix;
    };
    QList<SaveRequest> saveRequests;
    QStringList directoryTitles;      // instruction texts of folder browsers
    QStringList directoryStarts;      // the folders they opened in
    QStringList criticals;            // messages of message boxes
    std::deque<bool> questionAnswers; // Yes/No questions (No once the script runs out)
    QStringList questions;
    // Run inside each prompt for a text and each question, as events reach a real dialog while it
    // is open.
    std::function<void()> whileAsking;

    int execDialog(QDialog &dialog) override;
    std::optional<QString> getText(QWidget *parent, const QString &caption, const QString &label,
                                   const QString &initial, int maxLength) override;
    std::optional<QString> getSaveFileName(QWidget *parent, const QString &title,
                                           const QString &proposedPath, const QString &filter,
                                           const QString &defaultSuffix) override;
    std::optional<QString> getExistingDirectory(QWidget *parent, const QString &title,
                                                const QString &startFolder) override;
    void critical(QWidget *parent, const QString &message) override;
    bool question(QWidget *parent, const QString &text) override;
};

// A temporary folder made the working directory, with the two windows created in it as the
// program starts; both are destroyed and the old working directory restored at the end.
class WindowsInFolder
{
public:
    WindowsInFolder();
    ~WindowsInFolder();

    QString path() const { return m_dir.path(); }
    QString file(const QString &name) const { return m_dir.filePath(name); }
    // Creates the windows (call after making the files the list should show).
    void start();

private:
    QTemporaryDir m_dir;
    QString m_oldCwd;
    bool m_started = false;
};

// Whether label draws text exactly as a plain-text label without a buddy would: no markup read,
// no "&" taken as a shortcut marker.
bool drawnAsPlainText(QLabel *label, const QString &text);
// The text of the tooltip that a tooltip event at pos (in widget's coordinates) shows, as the
// user reads it (markup resolved); empty when none is shown.
QString toolTipAt(QWidget *widget, QPoint pos);

// A small valid MP3: frames, optionally followed by an ID3v1 tag.
QByteArray mp3(const QByteArray &tag = {});
// The selection of every row of the main window's file list.
std::vector<bool> listSelection();
