#pragma once

#include <QString>
#include <string>

// Cuts and searches on texts with positions counted from 1, the way the naming rules are
// stated. Taking n characters from position pos gives the empty text when the text is empty,
// when pos lies beyond its last character or when n is negative; a pos below 1 counts as 1 and
// an n that reaches past the end takes the characters up to the end.
std::string copyText(const std::string &text, int pos, int n);
QString copyText(const QString &text, int pos, int n);

// The position (from 1) of the first occurrence of what in text; 0 when it is absent.
int positionOf(const std::string &what, const std::string &text);
int positionOf(const QString &what, const QString &text);
