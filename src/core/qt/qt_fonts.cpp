#include "core/qt/qt_fonts.h"
#include <QAbstractButton>
#include <QCheckBox>
#include <QFontMetrics>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <algorithm>

QFont ModelFont(const TFontStyle& f) {
  QFont font(f.fixedPitch ? QStringLiteral("DejaVu Sans Mono") : QStringLiteral("DejaVu Sans"));
  font.setStyleHint(f.fixedPitch ? QFont::TypeWriter : QFont::SansSerif);
  font.setPointSize(std::max(1, f.size));
  font.setBold(f.bold);
  return font;
}

namespace {
bool Fits(const QFont& font, const QString& text, const QSize& room) {
  const QFontMetrics fm(font);
  const QSize s = fm.size(0, text);
  return s.width() <= room.width() && fm.ascent() + fm.descent() <= room.height() + 1;
}
}  // namespace

QFont FittingFont(const QFont& font, const QString& text, const QSize& room) {
  if (text.trimmed().isEmpty() || room.width() <= 0 || room.height() <= 0 || Fits(font, text, room)) return font;
  QFont f = font;
  const double start = font.pointSizeF() > 0 ? font.pointSizeF() : 10;
  for (double size = start - 0.5; size >= 6; size -= 0.5) {
    f.setPointSizeF(size);
    if (Fits(f, text, room)) return f;
  }
  return f;
}

void FitButtonFont(QAbstractButton* b, const QFont& font) {
  b->setFont(font);
  b->ensurePolished();
  QStyleOptionButton opt;
  opt.initFrom(b);
  opt.rect = b->rect();
  opt.text = b->text();
  QStyle::SubElement e = qobject_cast<QCheckBox*>(b)      ? QStyle::SE_CheckBoxContents
                         : qobject_cast<QRadioButton*>(b) ? QStyle::SE_RadioButtonContents
                                                          : QStyle::SE_PushButtonContents;
  QString text = b->text();
  text.replace("&&", QString(QChar(1)));
  text.remove('&');
  text.replace(QChar(1), '&');
  const QFont fitted = FittingFont(font, text, b->style()->subElementRect(e, &opt, b).size());
  if (fitted != font) b->setFont(fitted);
}

void FitListFont(QListWidget* w, const QFont& font, bool allRows) {
  w->setFont(font);
  const QSize view = w->maximumViewportSize();
  auto fits = [&] {
    const int rows = w->count() > 0 ? w->count() * w->sizeHintForRow(0) : 0;
    const int scrollBar = !allRows && rows > view.height() ? w->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, w) : 0;
    return w->sizeHintForColumn(0) <= view.width() - scrollBar && (!allRows || rows <= view.height());
  };
  for (double size = font.pointSizeF() - 0.5; size >= 6 && !fits(); size -= 0.5) {
    QFont f = font;
    f.setPointSizeF(size);
    w->setFont(f);
  }
}
