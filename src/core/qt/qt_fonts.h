// Fonts of the model's controls on the screen, and the size at which a caption fits the room its
// control gives it: the model's sizes come from a narrower font than DejaVu Sans, so where a
// caption does not fit, its font is made smaller until it does.
#pragma once
#include <QFont>
#include <QSize>
#include <QString>
#include "core/dialog_model.h"

class QAbstractButton;
class QListWidget;
class QWidget;

// The model's font: DejaVu Sans (Mono for fixed pitch) at its point size, bold as it says.
QFont ModelFont(const TFontStyle& f);
// font, or the same font made smaller (down to 6 points) until every line of text fits room.
QFont FittingFont(const QFont& font, const QString& text, const QSize& room);
// Sets the button's font to font, made smaller where its caption does not fit the part of the
// button its style draws the caption in (push button, check box or radio button).
void FitButtonFont(QAbstractButton* b, const QFont& font);
// Sets the list's font to font, made smaller until its widest item fits the list's width beside
// a vertical scroll bar where one is needed, or, with allRows, until every row fits in sight.
void FitListFont(QListWidget* w, const QFont& font, bool allRows);
