#include "kyb/dialogs/LoginDialog.h"

#include <QApplication>
#include <QCoreApplication>
#include <QHash>
#include <QImageReader>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QStyle>
#include <QStringList>
#include <QMessageBox>
#include <algorithm>
#include <exception>
#include <initializer_list>
#include <limits>
#include <vector>

#include "kyb/account/AccountState.h"
#include "kyb/account/RequestFailure.h"
#include "kyb/account/ServerAPI.h"
#include "kyb/dialogs/DialogImages.h"
#include "kyb/dialogs/GuardedSlot.h"
#include "kyb/dialogs/ScreenFit.h"
#include "kyb/dialogs/WebLoginDialog.h"
#include "platform/ServiceEndpoint.h"
#include "ui_LoginDialog.h"

namespace {

const QChar breakOpportunity(0x200B);  // zero-width space
const QChar wordJoiner(0x2060);        // no break on either side

// The host with no break after its hyphens; when it is wider than a line, with break opportunities after its dots,
// and between the letters of a part too wide for a line of its own, so that a long host wraps at its dots first
// instead of running past its room.
QString breakableHost(const QString& host, const QFontMetrics& metrics, int lineWidth, bool tooWide)
{
    QStringList parts = host.split(QLatin1Char('.'));
    for (QString& part : parts) {
        if (tooWide && metrics.horizontalAdvance(part + QLatin1Char('.')) > lineWidth) {
            QString spread;
            for (const QChar c : part)
                spread += QString(c) + breakOpportunity;
            spread.chop(1);
            part = spread;
        } else {
            part.replace(QLatin1Char('-'), QString(QLatin1Char('-')) + wordJoiner);
        }
    }
    return parts.join(tooWide ? QString(QLatin1Char('.')) + breakOpportunity : QString(QLatin1Char('.')));
}

// The header strip's image, drawn at its right end.
QSize headerImageSize()
{
    return QImageReader(QStringLiteral(":/BackTopImage/Header")).size();
}

QSize grown(const QRect& form, const QSize& needed)
{
    return form.size().expandedTo(needed);
}

// A word-wrapped label as wide as it needs to stay on as few lines as it can within widest, and as tall as those.
void wrapNarrowest(QLabel* label, int widest)
{
    const int fewestLinesHeight = label->heightForWidth(widest);
    int lineWidth = std::min(std::max(label->minimumSizeHint().width(), 1), widest);
    while (lineWidth < widest && label->heightForWidth(lineWidth) > fewestLinesHeight)
        ++lineWidth;
    label->resize(lineWidth, std::max(label->height(), fewestLinesHeight));
}

}  // namespace

// The form's places suit one font only. At the platform's fonts, and for a host of any length, every widget takes
// the room its text needs: across, the field names push the field column to the right; down, each line of the form
// keeps its place unless the one above has grown into it, and then it moves down (the lines on the field column
// stay centred on their middle where there is room). The dialog grows to hold what moved.
//
// Compact, for a screen too small for that: the field names start at the margin, the account link goes beside the
// login field, every line follows the one above at the least gap and the row of buttons keeps slim margins; the
// dialog is as wide as leastWidth, or as its lines need.
void LoginDialog::fitTexts(bool compact, int leastWidth)
{
    constexpr int margin = 10;  // the form's margin
    constexpr int gap = 3;      // the least room the form leaves between two lines
    Ui::LoginDialog& f = *ui_;
    if (form_.isEmpty()) {
        formSize_ = size();
        hostLineFormat_ = f.label_4->text();
        formButtonMargins_ = f.horizontalLayout->contentsMargins();
        formOrder_ = findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
        for (const QWidget* w : formOrder_)
            form_.insert(w, w->geometry());
    }
    for (auto it = form_.cbegin(); it != form_.cend(); ++it)
        const_cast<QWidget*>(it.key())->setGeometry(it.value());
    f.label_4->setText(hostLineFormat_);
    // Where the row's margins change, its least size follows them at once, and so do its buttons' places below.
    const QMargins buttonMargins = compact ? QMargins(margin, 6, margin, 6) : formButtonMargins_;
    const bool relaid = buttonMargins != f.horizontalLayout->contentsMargins();
    f.horizontalLayout->setContentsMargins(buttonMargins);
    if (relaid)
        f.horizontalLayout->activate();
    QHash<const QWidget*, QRect> form = form_;  // the places the lines keep

    // Across: the field names, then the column of the fields and the texts under them.
    int namesRight = 0;
    for (QLabel* name : {f.label, f.label_2}) {
        name->setGeometry(QRect(QPoint(compact ? margin : name->x(), name->y()), grown(form[name], name->sizeHint())));
        namesRight = std::max(namesRight, name->x() + name->width());
    }
    const int toNames = namesRight + 6 - f.loginEdit->x();
    const int shift = compact ? toNames : std::max(0, toNames);
    using Widgets = std::initializer_list<QWidget*>;
    for (QWidget* w : Widgets{f.loginEdit, f.passEdit, f.lblCreateAnAccount, f.lblLoginOrPasswordIncorrect,
                              f.lblForgotYourPassword})
        w->move(w->x() + shift, w->y());
    for (QLineEdit* edit : {f.loginEdit, f.passEdit})
        edit->resize(edit->width(), std::max(edit->height(), edit->minimumSizeHint().height()));
    QPushButton* online = f.btSignInOnline;
    online->setGeometry(QRect(QPoint(std::max(online->x() + shift, f.passEdit->geometry().right() + margin), online->y()),
                              grown(form[online], online->sizeHint())));
    for (QLabel* line : {f.lblCreateAnAccount, f.lblForgotYourPassword, f.lblConnectToServer})
        line->resize(grown(form[line], line->sizeHint()));
    QLabel* busy = f.lblConnectToServer;
    if (compact)  // widened across the dialog below, whatever its width
        busy->resize(busy->sizeHint().width(), busy->height());
    QLabel* account = f.lblCreateAnAccount;
    if (compact) {
        const QRect login = form[f.loginEdit];
        // Its text keeps to the right: over the right end of the online button, or as wide as it needs.
        const QSize hint = account->sizeHint();
        form[account] = QRect(online->x(), login.center().y() - form[account].height() / 2,
                              std::max(online->width(), hint.width()), form[account].height());
        account->setGeometry(QRect(form[account].topLeft(), form[account].size().expandedTo(hint)));
    }
    QLabel* refused = f.lblLoginOrPasswordIncorrect;
    refused->setWordWrap(true);
    refused->resize(std::max(refused->width(), refused->minimumSizeHint().width()), refused->height());
    refused->resize(refused->width(), std::max(refused->height(), refused->heightForWidth(refused->width())));

    int right = leastWidth - margin;
    for (const QWidget* w : Widgets{online, account, refused, f.lblForgotYourPassword, f.lblConnectToServer})
        right = std::max(right, w->x() + w->width());
    const int width = right + margin;
    const int wider = width - formSize_.width();
    for (QWidget* w : Widgets{f.graphicsView, f.line, f.horizontalLayoutWidget, f.progressBar})
        w->resize(w->width() + wider, w->height());
    f.lblConnectToServer->resize(std::max(f.lblConnectToServer->width(), form[f.lblConnectToServer].width() + wider),
                                 f.lblConnectToServer->height());

    // The header: the bold title, then the line naming the host, both on the plain ground left of the header
    // image, the strip growing under them when they take more lines than it holds.
    QWidget* header = f.graphicsView;
    const int imageLeft = header->width() - headerImageSize().width();
    QLabel* title = f.label_3;
    title->setWordWrap(true);
    wrapNarrowest(title, imageLeft - title->x());
    QLabel* hostLine = f.label_4;
    hostLine->setWordWrap(true);
    const QString host = platform::serviceHost();
    const int widest = imageLeft - hostLine->x();
    hostLine->setText(hostLineFormat_.arg(breakableHost(host, hostLine->fontMetrics(), widest, false)));
    if (hostLine->minimumSizeHint().width() > widest)
        hostLine->setText(hostLineFormat_.arg(breakableHost(host, hostLine->fontMetrics(), widest, true)));
    hostLine->move(hostLine->x(), std::max(hostLine->y(), title->geometry().bottom() + 1 + 4));
    wrapNarrowest(hostLine, widest);
    header->resize(header->width(), std::max(header->height(), hostLine->geometry().bottom() + 1 + 4));

    // Down: line by line; a line keeps its place in the form unless the one above has grown into it (compact: it
    // follows the one above).
    struct Line {
        std::vector<QWidget*> widgets;
        bool centred;  // grows evenly up and down, around the middle of its place
    };
    std::vector<Line> lines = {
        {{f.label, f.loginEdit}, true},
        {{f.label_2, f.passEdit, online}, true},
        {{account}, true},
        {{refused}, false},
        {{f.lblForgotYourPassword}, false},
        {{f.lblConnectToServer}, true},
        {{f.progressBar}, false},
        {{f.line, f.horizontalLayoutWidget}, false},
    };
    if (compact) {
        lines[0].widgets.push_back(account);
        lines.erase(lines.begin() + 2);
    }
    QWidget* buttons = f.horizontalLayoutWidget;
    buttons->resize(buttons->width(),
                    compact ? buttons->sizeHint().height() : std::max(buttons->height(), buttons->sizeHint().height()));
    const auto formTop = [&](const Line& line, const QWidget* w) {
        return form[w].y() - (line.centred ? (w->height() - form[w].height()) / 2 : 0);
    };
    int above = header->geometry().bottom() + 1;
    for (const Line& line : lines) {
        int top = std::numeric_limits<int>::max();
        for (const QWidget* w : line.widgets)
            top = std::min(top, formTop(line, w));
        const int down = compact ? above + gap - top : std::max(0, above + gap - top);
        for (QWidget* w : line.widgets) {
            w->move(w->x(), formTop(line, w) + down);
            above = std::max(above, w->geometry().bottom() + 1);
        }
    }
    // The row of buttons keeps its place against the dialog's bottom edge (compact: it is the bottom edge).
    const QRect formButtons = form[buttons];
    const int below = compact ? 0 : formSize_.height() - (formButtons.y() + formButtons.height());
    const int height = buttons->geometry().bottom() + 1 + below;
    setFixedSize(width, compact ? height : std::max(formSize_.height(), height));
    if (relaid) {
        f.horizontalLayout->invalidate();
        f.horizontalLayout->activate();
    }
}

bool LoginDialog::fits(const QSize& room) const
{
    return width() <= room.width() && height() <= room.height();
}

void LoginDialog::fitInto(const QSize& room)
{
    unscroll();
    fitTexts(false, formSize_.width());
    if (!room.isValid() || fits(room))
        return;
    fitTexts(true, std::min(formSize_.width(), room.width()));
    if (!fits(room))
        scrollInto(room);
}

namespace {

// Moves a widget to another parent at the same place, shown or hidden as it was.
void moveTo(QWidget* widget, QWidget* parent)
{
    const bool hidden = widget->isHidden();
    const QPoint at = widget->pos();
    widget->setParent(parent);
    widget->move(at);
    widget->setVisible(!hidden);
}

}  // namespace

// The compact form, as narrow as the room leaves beside a vertical scroll bar, goes into a scroll area as far down
// as the line over the buttons; the line and the row of buttons stay below it, at the dialog's bottom edge.
void LoginDialog::scrollInto(const QSize& room)
{
    Ui::LoginDialog& f = *ui_;
    const QWidgetList scrolled = findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    scroller_ = new QScrollArea(this);
    scroller_->setObjectName(QStringLiteral("scrollArea"));
    scroller_->setFrameShape(QFrame::NoFrame);
    scroller_->setFocusPolicy(Qt::NoFocus);  // the tab order stays the form's; the focused widget is scrolled to
    const int bar = scroller_->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, scroller_);
    fitTexts(true, std::min(formSize_.width(), room.width() - bar));

    const QSize content(width(), f.line->y());
    const int row = height() - content.height();
    const QSize view(room.width(), std::max(0, room.height() - row));
    bool down = false;
    bool across = false;
    for (int i = 0; i < 2; ++i) {  // a bar in one direction takes room from the other
        across = content.width() + (down ? bar : 0) > view.width();
        down = content.height() + (across ? bar : 0) > view.height();
    }
    const QSize area(std::min(view.width(), content.width() + (down ? bar : 0)),
                     std::min(view.height(), content.height() + (across ? bar : 0)));

    // Made inside the dialog first, so that the widgets moving into it keep their places in the tab order.
    auto* inner = new QWidget;
    inner->setObjectName(QStringLiteral("scrollAreaContents"));
    scroller_->setWidget(inner);
    inner->resize(content);
    for (QWidget* w : scrolled) {
        if (w != f.line && w != f.horizontalLayoutWidget)
            moveTo(w, inner);
    }
    scroller_->setGeometry(QRect(QPoint(0, 0), area));
    scroller_->show();  // made after the dialog may have been shown
    const QSize less(width() - area.width(), content.height() - area.height());
    for (QWidget* w : std::initializer_list<QWidget*>{f.line, f.horizontalLayoutWidget})
        w->setGeometry(w->x(), w->y() - less.height(), w->width() - less.width(), w->height());
    setFixedSize(area.width(), area.height() + row);
}

void LoginDialog::unscroll()
{
    if (!scroller_)
        return;
    for (QWidget* w : scroller_->widget()->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        moveTo(w, this);
    delete scroller_;
    scroller_ = nullptr;
    for (QWidget* w : formOrder_)  // back in the form's stacking order
        w->raise();
}

// While the dialog scrolls: the whole of the widget where the view holds it, else as much as it holds from the
// widget's top left corner (ensureWidgetVisible would show a field's text cursor only).
void LoginDialog::keepInView(QWidget* widget)
{
    if (!scroller_ || !widget || !scroller_->widget()->isAncestorOf(widget))
        return;
    constexpr int margin = 6;
    const QRect place(widget->mapTo(scroller_->widget(), QPoint(0, 0)), widget->size());
    scroller_->ensureVisible(place.right(), place.bottom(), margin, margin);
    scroller_->ensureVisible(place.left(), place.top(), margin, margin);
}

void LoginDialog::setVisible(bool visible)
{
    if (visible && !fittedToScreen_) {
        fittedToScreen_ = true;
        fitInto(screenRoom(*this));
        fitIntoScreen(*this);
    }
    QDialog::setVisible(visible);
}

LoginDialog::LoginDialog(std::string machineIdentifier, QString* login, int mode, QWidget* parent)
    : QDialog(parent), ui_(new Ui::LoginDialog), machineIdentifier_(std::move(machineIdentifier))
{
    registerDialogImages();
    ui_->setupUi(this);
    // The texts name the service this build talks to; it is escaped where it lands in rich text.
    const QString authority = platform::serviceAuthority().toHtmlEscaped();
    ui_->lblCreateAnAccount->setText(ui_->lblCreateAnAccount->text().arg(authority));
    ui_->lblForgotYourPassword->setText(ui_->lblForgotYourPassword->text().arg(authority));

    fitTexts(false, width());

    ui_->progressBar->hide();
    ui_->lblConnectToServer->hide();
    ui_->lblLoginOrPasswordIncorrect->hide();
    ui_->lblForgotYourPassword->hide();

    Qt::WindowFlags flags = windowFlags() & ~Qt::WindowContextHelpButtonHint;
    if (mode == 1)
        flags |= Qt::WindowStaysOnTopHint;
    setWindowFlags(flags);
    setFocus(Qt::OtherFocusReason);

    connect(ui_->btSignIn, &QPushButton::clicked, this, &LoginDialog::signInOk);
    connect(ui_->btSignInOnline, &QPushButton::clicked, this, &LoginDialog::signInOnline);
    // However the focus comes to a field (Tab, a shortcut, the program), a scrolling dialog shows it.
    focusFollower_ =
        connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { keepInView(now); });

    const QString known = login ? *login : QString();
    ui_->loginEdit->setText(known);
    if (!known.isEmpty()) {
        if (mode == 2)
            ui_->loginEdit->setEnabled(false);
        ui_->passEdit->setFocus(Qt::OtherFocusReason);
    }
}

LoginDialog::~LoginDialog()
{
    // QWidget's destructor still moves the focus, when this is no LoginDialog any more.
    disconnect(focusFollower_);
}

QString LoginDialog::login() const
{
    return ui_->loginEdit->text();
}

void LoginDialog::reject()
{
    QDialog::reject();
    // The request's loop sits above the dialog's own: ending its wait lets the dialog return at once.
    if (requestWaiting_)
        ServerAPI::instance()->abandonWaitsFrom(waitsBeforeRequest_);
}

void LoginDialog::setRequestWaiting(bool waiting)
{
    // A second sign-in must not start inside the first one's wait; Cancel stays available.
    requestWaiting_ = waiting;
    if (waiting) {
        waitsBeforeRequest_ = ServerAPI::instance()->waitCount();
        // Disabling the focused button would pass the focus, and with it the Return key, on to Cancel.
        QWidget* focused = focusWidget();
        if (focused == ui_->btSignIn || focused == ui_->btSignInOnline)
            ui_->passEdit->setFocus(Qt::OtherFocusReason);
    }
    ui_->btSignIn->setEnabled(!waiting);
    ui_->btSignInOnline->setEnabled(!waiting);
}

void LoginDialog::showBusy(bool busy)
{
    setCursor(busy ? Qt::WaitCursor : Qt::ArrowCursor);
    ui_->progressBar->setVisible(busy);
    ui_->lblConnectToServer->setVisible(busy);
}

void LoginDialog::showServerError(const char* what)
{
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Kestrune"),
                    QCoreApplication::translate("HelperClass", "Server error:") + QLatin1Char(' ') +
                        QString::fromLocal8Bit(what),
                    QMessageBox::Ok, this,
                    Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowStaysOnTopHint);
    box.exec();
}

void LoginDialog::signInOk()
{
    guardedSlot(this, [&] {
        if (requestWaiting_ || ui_->loginEdit->text().isEmpty() || ui_->passEdit->text().isEmpty())
            return;
        showBusy(true);
        setRequestWaiting(true);
        bool ok = false;
        try {
            ok = ServerAPI::instance()->login(ui_->loginEdit->text(), ui_->passEdit->text(), machineIdentifier_,
                                              &accountState);
        } catch (const RequestAbandoned&) {
            setRequestWaiting(false);
            showBusy(false);
            return;   // the dialog was closed meanwhile
        } catch (const std::exception& e) {
            setRequestWaiting(false);
            showBusy(false);
            showServerError(e.what());
            return;
        } catch (...) {
            setRequestWaiting(false);
            showBusy(false);
            throw;
        }
        setRequestWaiting(false);
        showBusy(false);
        if (ok) {
            accept();
        } else {
            ui_->lblLoginOrPasswordIncorrect->show();
            ui_->lblForgotYourPassword->show();
            keepInView(ui_->lblForgotYourPassword);
            keepInView(ui_->lblLoginOrPasswordIncorrect);  // first of the two where the view holds one only
        }
    });
}

void LoginDialog::signInOnline()
{
    guardedSlot(this, [&] {
        if (requestWaiting_)
            return;
        QString token;
        if (!runWebLogin(&token, this))
            return;
        QString email;
        setRequestWaiting(true);
        bool ok = false;
        try {
            ok = ServerAPI::instance()->info(token, machineIdentifier_, &email, &accountState);
        } catch (const RequestAbandoned&) {
            setRequestWaiting(false);
            return;   // the dialog was closed meanwhile
        } catch (const std::exception& e) {
            setRequestWaiting(false);
            showServerError(e.what());
            return;
        } catch (...) {
            setRequestWaiting(false);
            throw;
        }
        setRequestWaiting(false);
        if (ok) {
            ui_->loginEdit->setText(email);
            accept();
        }
    });
}
