#pragma once

#include <QStringList>

class QMimeData;
class QWidget;

// Lets folders and files be dropped on a window: a drop of local paths opens them as the
// program's arguments do (openPaths in startup.h), once the drop itself has ended, so the
// program that dragged them is not kept waiting by a message box. Other drops are refused. A
// drop is taken as a copy (never a move: the source must not delete what it dragged).
void acceptPathDrops(QWidget *window);

// The local paths of a drop, decoded as file names are, byte for byte; empty when it holds none.
QStringList droppedPaths(const QMimeData *data);
