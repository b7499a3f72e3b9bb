#pragma once
// Whether a window of fixed places shows whole: every text readable, no widget over another, nothing outside the
// window (frames and views at its edges may run past it). What a scroll area holds shows whole when it does so
// inside the scroll area's content, which the user scrolls into view. Shared by the tests that build dialogs
// themselves and the driver plugin inside the built program.
#include <QAbstractButton>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QList>
#include <QPair>
#include <QProgressBar>
#include <QPushButton>
#include <QRect>
#include <QScrollArea>
#include <QString>
#include <QStringList>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTextDocument>
#include <QWidget>

namespace ktest {

// What a direct child takes of its window: the widgets of a layout that a plain widget holds, a horizontal line
// only where it is drawn, any other widget its whole place. Hidden ones too unless shownOnly.
inline QList<QPair<const QWidget*, QRect>> layoutPieces(const QWidget& window, bool shownOnly)
{
    QList<QPair<const QWidget*, QRect>> pieces;
    for (const QWidget* w : window.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (w->isWindow() || (shownOnly && w->isHidden()))
            continue;
        if (w->layout()) {
            for (const QWidget* inner : w->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
                if (!shownOnly || !inner->isHidden())
                    pieces.append({inner, QRect(inner->mapTo(&window, QPoint(0, 0)), inner->size())});
            }
            continue;
        }
        const auto* frame = qobject_cast<const QFrame*>(w);
        if (frame && frame->frameShape() == QFrame::HLine) {
            const int thick = frame->lineWidth() * 2 + frame->midLineWidth();
            pieces.append({w, QRect(w->x(), w->geometry().center().y() - thick / 2, w->width(), thick)});
        } else {
            pieces.append({w, w->geometry()});
        }
    }
    return pieces;
}

// Why a text of the widget does not show whole; empty when it does.
inline QString textFault(const QWidget& widget)
{
    if (const auto* label = qobject_cast<const QLabel*>(&widget)) {
        if (label->text().isEmpty())
            return QString();
        if (label->wordWrap()) {
            if (label->heightForWidth(label->width()) > label->height())
                return QStringLiteral("lines taller than the label");
            if (label->minimumSizeHint().width() > label->width())
                return QStringLiteral("a word wider than the label");
            return QString();
        }
        const QSize hint = label->sizeHint();
        if (hint.width() > label->width() || hint.height() > label->height())
            return QStringLiteral("text larger than the label");
        if (!Qt::mightBeRichText(label->text()) &&
            label->fontMetrics().size(0, label->text()).width() > label->contentsRect().width())
            return QStringLiteral("text wider than the label");
        return QString();
    }
    if (const auto* button = qobject_cast<const QPushButton*>(&widget)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        const QRect room = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
        if (room.width() < button->fontMetrics().horizontalAdvance(button->text()))
            return QStringLiteral("text wider than the button");
        if (button->height() < button->sizeHint().height())
            return QStringLiteral("button lower than its text");
        return QString();
    }
    if (const auto* edit = qobject_cast<const QLineEdit*>(&widget)) {
        if (edit->height() < edit->minimumSizeHint().height())
            return QStringLiteral("field lower than a line of text");
    }
    return QString();
}

// Everything that keeps the window from showing whole, one text each ("name: fault"). Labels may lie on
// background; background is the one widget they are allowed to cover.
inline QStringList layoutFaults(const QWidget& window, bool shownOnly, const QWidget* background = nullptr)
{
    QStringList faults;
    const auto pieces = layoutPieces(window, shownOnly);
    for (int i = 0; i < pieces.size(); ++i) {
        const QWidget* piece = pieces[i].first;
        const QRect place = pieces[i].second;
        const QString name = piece->objectName();
        const bool control = qobject_cast<const QLabel*>(piece) || qobject_cast<const QAbstractButton*>(piece) ||
                             qobject_cast<const QLineEdit*>(piece) || qobject_cast<const QProgressBar*>(piece) ||
                             qobject_cast<const QScrollArea*>(piece);
        if (control && !QRect(QPoint(0, 0), window.size()).contains(place))
            faults << name + QStringLiteral(": leaves the window");
        const QString text = textFault(*piece);
        if (!text.isEmpty())
            faults << name + QStringLiteral(": ") + text;
        for (int j = i + 1; j < pieces.size(); ++j) {
            const QWidget* other = pieces[j].first;
            if (!place.intersects(pieces[j].second))
                continue;
            const bool onBackground = (piece == background && qobject_cast<const QLabel*>(other)) ||
                                      (other == background && qobject_cast<const QLabel*>(piece));
            if (!onBackground)
                faults << name + QStringLiteral(": overlaps ") + other->objectName();
        }
        const auto* area = qobject_cast<const QScrollArea*>(piece);
        if (area && area->widget())
            faults << layoutFaults(*area->widget(), shownOnly, background);
    }
    return faults;
}

}  // namespace ktest
