// The login dialog on the offscreen platform, signing in against the account-service simulator.
#include <gtest/gtest.h>

#include <QGraphicsView>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QLayout>
#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QStyle>
#include <QStyleOptionButton>
#include <QSignalSpy>
#include <QTest>
#include <QTextDocument>
#include <QTextLayout>
#include <QImageReader>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QGuiApplication>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <memory>

#include "kyb/account/AccountState.h"
#include "kyb/account/ServerAPI.h"
#include "kyb/dialogs/LoginDialog.h"
#include "kyb/signin/SignIn.h"
#include "kyb/tests/AccountSimTest.h"
#include "kyb/tests/DialogDriver.h"
#include "tests/support/ScopedEnvironmentVariable.h"
#include "tests/support/driver/WindowLayout.h"

namespace {

const char* const machineId = "machine-under-test";
const QString email = QStringLiteral("demo@belmo.example");
const QString password = QStringLiteral("demo-password");
const std::string plainToken = "demo-token-7f3c9a1e5b2d4c6f8a0e1b3d5f7a9c2e";

QJsonObject route(const QString& path, const QJsonObject& entry)
{
    return QJsonObject{{"routes", QJsonObject{{path, entry}}}};
}

class LoginDialogTest : public ktest::AccountSimTest {
public:
    static ktest::AccountServiceSim* simulator() { return sim; }

protected:
    void SetUp() override
    {
        AccountSimTest::SetUp();
        accountState = AccountState();
    }

    template <typename T>
    static T* child(QWidget& dialog, const char* name)
    {
        T* widget = dialog.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    static void enter(LoginDialog& dialog, const QString& login, const QString& pass)
    {
        child<QLineEdit>(dialog, "loginEdit")->setText(login);
        child<QLineEdit>(dialog, "passEdit")->setText(pass);
    }

    static void clickSignIn(LoginDialog& dialog)
    {
        QTest::mouseClick(child<QPushButton>(dialog, "btSignIn"), Qt::LeftButton);
    }

    // Every message box is closed and kept, so a failing test cannot hang on one.
    ktest::MessageBoxCloser boxes;
};

// The first five widgets of the tab chain, from loginEdit on.
QStringList tabOrder(QWidget& dialog)
{
    QWidget* w = dialog.findChild<QWidget*>(QStringLiteral("loginEdit"));
    if (!w)
        return {};
    QStringList order{w->objectName()};
    for (int i = 0; i < 4; ++i) {
        w = w->nextInFocusChain();
        while (w->focusPolicy() == Qt::NoFocus)
            w = w->nextInFocusChain();
        order << w->objectName();
    }
    return order;
}

// The dialog's size and the place of each of its direct children, in their stacking order.
std::string places(const QWidget& dialog)
{
    QStringList all{QStringLiteral("dialog %1,%2 %3x%4").arg(0).arg(0).arg(dialog.width()).arg(dialog.height())};
    for (const QWidget* w : dialog.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        const QRect g = w->geometry();
        all << QStringLiteral("%1 %2,%3 %4x%5").arg(w->objectName()).arg(g.x()).arg(g.y()).arg(g.width()).arg(
                   g.height());
    }
    return all.join('\n').toStdString();
}

// At a font small enough for the form, everything keeps the form's places.
TEST_F(LoginDialogTest, Form)
{
    struct SmallFont {
        SmallFont() { QApplication::setFont(QFont(platform.family(), 6)); }
        ~SmallFont() { QApplication::setFont(platform); }
        const QFont platform = QApplication::font();
    } smallFont;
    QString login;
    LoginDialog dialog(machineId, &login, 0);
    EXPECT_EQ(dialog.objectName(), "LoginDialog");
    EXPECT_EQ(dialog.windowTitle(), "Kestrune");
    EXPECT_EQ(dialog.windowModality(), Qt::ApplicationModal);
    EXPECT_TRUE(dialog.isModal());
    EXPECT_EQ(dialog.minimumSize(), QSize(500, 355));
    EXPECT_EQ(dialog.maximumSize(), QSize(500, 355));
    EXPECT_EQ(dialog.baseSize(), QSize(215, 119));
    EXPECT_EQ(dialog.locale(), QLocale(QLocale::English, QLocale::UnitedStates));

    const struct {
        const char* name;
        QRect geometry;
    } placed[] = {
        {"loginEdit", {180, 109, 191, 21}},    {"passEdit", {180, 140, 191, 20}},
        {"progressBar", {10, 285, 481, 15}},   {"line", {-1, 305, 501, 16}},
        {"horizontalLayoutWidget", {0, 310, 501, 47}},
    };
    for (const auto& p : placed) {
        QWidget* widget = child<QWidget>(dialog, p.name);
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->geometry(), p.geometry) << p.name;
        EXPECT_EQ(widget->parentWidget(), &dialog) << p.name;
    }
    // The labels (and the header strip under the first two) grow with their texts at the platform's fonts, from
    // their places in the form: to the right, and down or evenly up and down around the line they are on.
    const struct {
        const char* name;
        QRect form;
        bool keepsMiddle;
    } grown[] = {
        {"label", {80, 110, 46, 20}, true},
        {"label_2", {80, 140, 71, 16}, true},
        {"graphicsView", {0, 0, 501, 61}, false},
        {"lblConnectToServer", {10, 265, 476, 16}, true},
        {"lblCreateAnAccount", {182, 166, 186, 20}, true},
        {"lblLoginOrPasswordIncorrect", {180, 190, 231, 31}, false},
        {"lblForgotYourPassword", {180, 220, 191, 16}, false},
    };
    for (const auto& g : grown) {
        SCOPED_TRACE(g.name);
        QWidget* widget = child<QWidget>(dialog, g.name);
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->parentWidget(), &dialog);
        const QRect place = widget->geometry();
        EXPECT_EQ(place.x(), g.form.x());
        EXPECT_GE(place.width(), g.form.width());
        EXPECT_GE(place.height(), g.form.height());
        if (g.keepsMiddle) {
            EXPECT_LE(std::abs(place.center().y() - g.form.center().y()), 1);
        } else {
            EXPECT_GE(place.y(), g.form.y());
        }
    }

    EXPECT_EQ(child<QLabel>(dialog, "label")->text(), "Login:");
    EXPECT_EQ(child<QLabel>(dialog, "label_2")->text(), "Password:");
    EXPECT_EQ(child<QLabel>(dialog, "label_3")->text(), "Enter your login and password");
    EXPECT_TRUE(child<QLabel>(dialog, "label_3")->font().bold());
    EXPECT_EQ(child<QLabel>(dialog, "label_4")->text(), "Please enter 127.0.0.1 login and password");
    EXPECT_EQ(child<QLabel>(dialog, "lblConnectToServer")->text(), "Connecting to server...");
    EXPECT_EQ(child<QLineEdit>(dialog, "passEdit")->echoMode(), QLineEdit::Password);
    EXPECT_EQ(child<QProgressBar>(dialog, "progressBar")->maximum(), 0);
    EXPECT_FALSE(child<QProgressBar>(dialog, "progressBar")->isTextVisible());
    EXPECT_FALSE(child<QGraphicsView>(dialog, "graphicsView")->isInteractive());
    EXPECT_EQ(child<QLabel>(dialog, "lblLoginOrPasswordIncorrect")->styleSheet(), "color: red;");
    EXPECT_TRUE(child<QLabel>(dialog, "lblLoginOrPasswordIncorrect")->text().contains(
        "The login or password is not correct."));

    // The links go to the service this build talks to, over https.
    const QString authority = sim->authority();
    QLabel* createAccount = child<QLabel>(dialog, "lblCreateAnAccount");
    EXPECT_TRUE(createAccount->text().contains("href=\"https://" + authority + "/signup\"")) << createAccount->text().toStdString();
    EXPECT_TRUE(createAccount->text().contains(">Create an account<"));
    EXPECT_TRUE(createAccount->openExternalLinks());
    QLabel* forgot = child<QLabel>(dialog, "lblForgotYourPassword");
    EXPECT_TRUE(forgot->text().contains("href=\"https://" + authority + "/password/new\"")) << forgot->text().toStdString();
    EXPECT_TRUE(forgot->text().contains(">Forgot your password?<"));

    QPushButton* signIn = child<QPushButton>(dialog, "btSignIn");
    QPushButton* cancel = child<QPushButton>(dialog, "btCancel");
    QPushButton* online = child<QPushButton>(dialog, "btSignInOnline");
    EXPECT_EQ(signIn->text(), "Sign in");
    EXPECT_EQ(cancel->text(), "Cancel");
    EXPECT_EQ(online->text(), "Sign in online");
    EXPECT_TRUE(signIn->isDefault());
    EXPECT_FALSE(cancel->isDefault());
    EXPECT_FALSE(online->autoDefault());
    // "Sign in online" keeps its place and grows to the right, inside the dialog, until its text is not clipped.
    const QRect onlineGeometry = online->geometry();
    EXPECT_EQ(onlineGeometry.topLeft(), QPoint(381, 140));
    EXPECT_EQ(onlineGeometry.height(), 23);
    EXPECT_GE(onlineGeometry.width(), 87);
    EXPECT_LE(onlineGeometry.right(), dialog.width() - 1);
    QStyleOptionButton option;
    option.initFrom(online);
    option.text = online->text();
    const QRect textRoom = online->style()->subElementRect(QStyle::SE_PushButtonContents, &option, online);
    EXPECT_GE(textRoom.width(), online->fontMetrics().horizontalAdvance(online->text())) << online->font().toString().toStdString();

    // Tab order: loginEdit, passEdit, btSignIn, btCancel, graphicsView.
    EXPECT_EQ(tabOrder(dialog), (QStringList{"loginEdit", "passEdit", "btSignIn", "btCancel", "graphicsView"}));

    // Cancel rejects.
    dialog.show();
    QTest::mouseClick(cancel, Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_FALSE(dialog.isVisible());
}

// Every text of the dialog is readable whole, no widget covers another or leaves the dialog, and the labels on the
// header strip lie inside it, left of its image. Checked for every widget, shown or not, as all of them can be shown
// at once (a new attempt after a refused one).
void expectTextsFit(QDialog& dialog)
{
    const QWidget* header = dialog.findChild<QWidget*>(QStringLiteral("graphicsView"));
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(ktest::layoutFaults(dialog, false, header).join('\n').toStdString(), "");
    const QSize image = QImageReader(QStringLiteral(":/BackTopImage/Header")).size();
    ASSERT_TRUE(image.isValid());
    const QRect plainGround(header->geometry().topLeft(), QSize(header->width() - image.width(), header->height()));
    for (const QLabel* label : header->parentWidget()->findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (label->geometry().intersects(header->geometry())) {
            EXPECT_TRUE(plainGround.contains(label->geometry())) << label->objectName().toStdString();
        }
    }
}

// A room of the screen a test lays the dialog into.
struct Room {
    const char* name;
    QSize size;
};

// Lays dialog into room: it keeps a fixed size no larger than the room, with its texts whole.
void expectFitsInto(LoginDialog& dialog, const QSize& room)
{
    dialog.fitInto(room);
    EXPECT_LE(dialog.width(), room.width());
    EXPECT_LE(dialog.height(), room.height());
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
}

// The lines a word-wrapped label breaks its text into, without the invisible break marks.
QStringList wrappedLines(const QLabel& label)
{
    const QString text = label.text();
    QTextLayout layout(text, label.font());
    QTextOption option;
    option.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    QStringList lines;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(label.contentsRect().width());
        QString shown = text.mid(line.textStart(), line.textLength());
        shown.remove(QChar(0x200B));
        shown.remove(QChar(0x2060));
        lines << shown.trimmed();
    }
    layout.endLayout();
    return lines;
}

struct HostCase {
    const char* name;
    const char* host;  // null: the built-in host
};

void PrintTo(const HostCase& c, std::ostream* os)
{
    *os << c.name;
}

class LoginDialogTexts : public LoginDialogTest, public ::testing::WithParamInterface<HostCase> {};

// Run by ctest at several font densities (QT_FONT_DPI): the form was drawn for 96 dpi.
TEST_P(LoginDialogTexts, FitInTheFirstRefusedAndRetryState)
{
    SCOPED_TRACE("font density " + std::to_string(qRound(QGuiApplication::primaryScreen()->logicalDotsPerInchY())));
    const char* const host = GetParam().host;
    if (host) {
        ASSERT_EQ(qstrlen(host), 64u);
    }
    // The second try waits long enough to be looked at, and is refused too.
    sim->setScenario(QJsonObject{{"routes", QJsonObject{{"/api/kyb/v2/login.json",
                                                         QJsonArray{QJsonObject(), QJsonObject{{"delay_ms", 1500}}}}}}});
    QString login;
    std::unique_ptr<LoginDialog> dialog;
    {
        ktest::ScopedEnv serviceHost("KESTRUNE_SERVICE_HOST", host ? QByteArray(host) : QByteArray());
        dialog = std::make_unique<LoginDialog>(machineId, &login, 0);
    }
    const QString expectedHost = host ? QString::fromLatin1(host) : QStringLiteral(KESTRUNE_DEFAULT_HOST);
    const QLabel* hostLine = child<QLabel>(*dialog, "label_4");
    QString header = hostLine->text();
    header.remove(QChar(0x200B));  // break opportunities only
    header.remove(QChar(0x2060));
    EXPECT_EQ(header, "Please enter " + expectedHost + " login and password");
    dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    {
        SCOPED_TRACE("first state");
        expectTextsFit(*dialog);
    }
    // A host breaks at its dots, never after a hyphen.
    const QStringList lines = wrappedLines(*hostLine);
    for (const QString& line : lines) {
        EXPECT_FALSE(line.endsWith(QLatin1Char('-'))) << lines.join(" | ").toStdString();
    }

    enter(*dialog, email, "wrong password");
    clickSignIn(*dialog);
    ASSERT_TRUE(child<QLabel>(*dialog, "lblLoginOrPasswordIncorrect")->isVisible());
    ASSERT_TRUE(child<QLabel>(*dialog, "lblForgotYourPassword")->isVisible());
    {
        SCOPED_TRACE("refused state");
        expectTextsFit(*dialog);
    }

    // Trying again: the refusal texts stay while the busy text and bar show.
    bool looked = false;
    QTimer probe;
    probe.setInterval(20);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (looked || sim->requestsTo("/api/kyb/v2/login.json").size() < 2)
            return;
        looked = true;
        SCOPED_TRACE("retry state");
        for (const char* shown : {"lblLoginOrPasswordIncorrect", "lblForgotYourPassword", "lblConnectToServer",
                                  "progressBar"})
            EXPECT_TRUE(child<QWidget>(*dialog, shown)->isVisible()) << shown;
        expectTextsFit(*dialog);
    });
    probe.start();
    clickSignIn(*dialog);
    probe.stop();
    EXPECT_TRUE(looked);
    EXPECT_TRUE(dialog->isVisible());
}

INSTANTIATE_TEST_SUITE_P(
    Hosts, LoginDialogTexts,
    ::testing::Values(HostCase{"BuiltIn", nullptr},
                      HostCase{"Long", "scanner-calibration-accounts.westeurope.services.belmo-group.com"},
                      HostCase{"LongWithoutHyphens", "scannercalibrationaccounts.westeurope.eu.services.belmogroup.com"},
                      HostCase{"OneWideLabel", "mmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmm.m"}),
    [](const ::testing::TestParamInfo<HostCase>& info) { return std::string(info.param.name); });

// On a screen whose free room is smaller than the fitted form (as 200 % with a scale factor of 2 on 1920 x 1080
// leaves 480 x 270), the dialog is laid out into the room with every text whole and nothing covered, in all its
// states at once; where the room holds the form, its places are kept, also after a smaller room.
TEST_F(LoginDialogTest, FitsIntoTheScreensRoom)
{
    QString login;
    LoginDialog dialog(machineId, &login, 0);
    const std::string form = places(dialog);
    const QSize fitted = dialog.size();
    const Room rooms[] = {
        {"short and narrow", fitted - QSize(30, 30)},
        {"narrow", {fitted.width() - 30, 2000}},
        {"short", {2000, fitted.height() - 30}},
        {"the form's own", fitted},
    };
    for (const auto& r : rooms) {
        SCOPED_TRACE(r.name);
        expectFitsInto(dialog, r.size);
        expectTextsFit(dialog);
    }
    EXPECT_EQ(places(dialog), form);
    EXPECT_EQ(child<QWidget>(dialog, "horizontalLayoutWidget")->layout()->contentsMargins(), QMargins(10, 14, 14, 10));
}

// The part of the widget, in its own coordinates, that the view of the scroll area it lies in shows.
QRect shownPart(const QWidget& widget)
{
    const QScrollArea* area = nullptr;
    for (const QWidget* w = widget.parentWidget(); w && !area; w = w->parentWidget())
        area = qobject_cast<const QScrollArea*>(w);
    if (!area)
        return QRect();
    const QPoint at = widget.mapTo(area->viewport(), QPoint(0, 0));
    return (QRect(at, widget.size()) & area->viewport()->rect()).translated(-at);
}

bool inView(const QWidget& widget)
{
    return shownPart(widget) == widget.rect();
}

// Where even the compact form is larger than the screen's room (a still smaller screen, or larger fonts), the
// dialog takes the room: its row of buttons lies whole on it and uncovered, everything above scrolls with every
// text whole, and a field the focus comes to by Tab or Shift+Tab is scrolled into view, so the user types and signs
// in; a refusal is brought into view. A room that holds the form again gives it back its places.
TEST_F(LoginDialogTest, ScrollsWhereEvenTheCompactFormIsLargerThanTheRoom)
{
    QString login;
    LoginDialog dialog(machineId, &login, 0);
    const std::string form = places(dialog);
    dialog.show();
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    dialog.fitInto(dialog.size() - QSize(30, 30));
    const QSize compact = dialog.size();
    ASSERT_EQ(dialog.findChild<QScrollArea*>(), nullptr);

    const auto typeInto = [&dialog](const char* name, Qt::Key key, const QString& text) {
        QLineEdit* field = child<QLineEdit>(dialog, name);
        // Scrolled away from the field first, to the corner that shows the least of it.
        auto* area = dialog.findChild<QScrollArea*>();
        for (const bool farEnd : {true, false}) {
            area->horizontalScrollBar()->setValue(farEnd ? area->horizontalScrollBar()->maximum() : 0);
            area->verticalScrollBar()->setValue(farEnd ? area->verticalScrollBar()->maximum() : 0);
            if (!inView(*field))
                break;
        }
        EXPECT_FALSE(inView(*field)) << name << ": never out of view";
        for (int i = 0; i < 10 && QApplication::focusWidget() != field; ++i)
            QTest::keyClick(QApplication::focusWidget(), key);
        const QWidget* focused = QApplication::focusWidget();
        ASSERT_EQ(focused, field) << name << ", focus in " << (focused ? focused->objectName().toStdString() : "none");
        EXPECT_TRUE(inView(*field)) << name;
        QTest::keyClicks(field, text);
        EXPECT_EQ(field->text(), text) << name;
    };
    const Room rooms[] = {
        {"short", {compact.width(), compact.height() / 2}},
        {"narrow", {compact.width() / 2, 2000}},
        {"short and narrow", compact / 2},
        {"tiny", {240, 135}},  // 960 x 540 at 200 % with a scale factor of 2
    };
    for (const auto& r : rooms) {
        SCOPED_TRACE(r.name);
        expectFitsInto(dialog, r.size);
        ASSERT_NE(dialog.findChild<QScrollArea*>(), nullptr);
        expectTextsFit(dialog);
        for (const char* name : {"btSignIn", "btCancel"}) {
            const QPushButton* button = child<QPushButton>(dialog, name);
            const QRect place(button->mapTo(&dialog, QPoint(0, 0)), button->size());
            EXPECT_TRUE(dialog.rect().contains(place)) << name;
            for (const QPoint& at : {place.center(), place.topLeft() + QPoint(2, 2), place.bottomRight() - QPoint(2, 2)})
                EXPECT_EQ(dialog.childAt(at), button) << name;
        }
        for (const char* hidden : {"progressBar", "lblConnectToServer", "lblLoginOrPasswordIncorrect",
                                   "lblForgotYourPassword"})
            EXPECT_TRUE(child<QWidget>(dialog, hidden)->isHidden()) << hidden;
        EXPECT_FALSE(child<QWidget>(dialog, "lblCreateAnAccount")->isHidden());
        EXPECT_EQ(tabOrder(dialog), (QStringList{"loginEdit", "passEdit", "btSignIn", "btCancel", "graphicsView"}));
        child<QLineEdit>(dialog, "loginEdit")->clear();
        child<QLineEdit>(dialog, "passEdit")->clear();
        // Back from Sign in too, where the focus comes from outside the scroll area.
        typeInto("loginEdit", Qt::Key_Tab, email);
        typeInto("passEdit", Qt::Key_Backtab, password);
    }

    dialog.fitInto(QSize(2000, 2000));
    EXPECT_EQ(places(dialog), form);
    EXPECT_EQ(dialog.findChild<QScrollArea*>(), nullptr);

    // From the tiny room, with what was typed there: refused first, which brings the refusal into view, then signed
    // in.
    dialog.fitInto(rooms[3].size);
    sim->setScenario(QJsonObject{
        {"routes", QJsonObject{{"/api/kyb/v2/login.json", QJsonArray{QJsonObject{{"status", 401}}, QJsonObject()}}}}});
    QTest::mouseClick(child<QPushButton>(dialog, "btSignIn"), Qt::LeftButton);
    ASSERT_TRUE(dialog.isVisible());
    QLabel* refused = child<QLabel>(dialog, "lblLoginOrPasswordIncorrect");
    EXPECT_TRUE(refused->isVisible());
    // From its start, and as far across as the view goes: at its least width it may be wider than the view.
    EXPECT_EQ(shownPart(*refused).topLeft(), QPoint(0, 0));
    EXPECT_EQ(shownPart(*refused).height(), refused->height());
    QTest::mouseClick(child<QPushButton>(dialog, "btSignIn"), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    const QList<QJsonObject> logins = sim->requestsTo("/api/kyb/v2/login.json");
    ASSERT_EQ(logins.size(), 2);
    EXPECT_EQ(logins[1]["form"].toArray()[0], (QJsonArray{"user[email]", email}));
    EXPECT_EQ(logins[1]["form"].toArray()[1], (QJsonArray{"user[password]", password}));
}

struct ModeCase {
    const char* name;
    int mode;
    const char* login;
    bool staysOnTop;
    bool loginLocked;
};

class LoginDialogModes : public LoginDialogTest, public ::testing::WithParamInterface<ModeCase> {};

TEST_P(LoginDialogModes, WidgetsAndFlags)
{
    const ModeCase& c = GetParam();
    QString login = QString::fromUtf8(c.login);
    LoginDialog dialog(machineId, &login, c.mode);
    for (const char* hidden : {"progressBar", "lblConnectToServer", "lblLoginOrPasswordIncorrect", "lblForgotYourPassword"})
        EXPECT_TRUE(child<QWidget>(dialog, hidden)->isHidden()) << hidden;
    EXPECT_FALSE(child<QWidget>(dialog, "lblCreateAnAccount")->isHidden());
    EXPECT_FALSE(dialog.windowFlags() & Qt::WindowContextHelpButtonHint);
    EXPECT_EQ(bool(dialog.windowFlags() & Qt::WindowStaysOnTopHint), c.staysOnTop);

    QLineEdit* loginEdit = child<QLineEdit>(dialog, "loginEdit");
    EXPECT_EQ(loginEdit->text(), login);
    EXPECT_EQ(loginEdit->isEnabled(), !c.loginLocked);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    if (!login.isEmpty())
        EXPECT_EQ(dialog.focusWidget(), child<QWidget>(dialog, "passEdit"));
    else
        EXPECT_NE(dialog.focusWidget(), child<QWidget>(dialog, "passEdit"));
}

INSTANTIATE_TEST_SUITE_P(
    Modes, LoginDialogModes,
    ::testing::Values(ModeCase{"StartUp", 0, "", false, false},
                      ModeCase{"StartUpKnownLogin", 0, "demo@belmo.example", false, false},
                      ModeCase{"Silent", 1, "demo@belmo.example", true, false},
                      ModeCase{"RefusedTokenKnownLogin", 2, "demo@belmo.example", false, true},
                      ModeCase{"RefusedTokenNoLogin", 2, "", false, false}),
    [](const ::testing::TestParamInfo<ModeCase>& info) { return std::string(info.param.name); });

TEST_F(LoginDialogTest, SignInAccepts)
{
    QString login;
    LoginDialog dialog(machineId, &login, 0);
    dialog.show();
    enter(dialog, email, password);
    clickSignIn(dialog);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.login(), email);
    // Still enciphered: signIn deciphers.
    EXPECT_EQ(ServerAPI::decryptString(accountState.authToken, machineId), plainToken);
    EXPECT_EQ(accountState.machineRecordId, "4711");
    const QList<QJsonObject> logins = sim->requestsTo("/api/kyb/v2/login.json");
    ASSERT_EQ(logins.size(), 1);
    EXPECT_EQ(logins[0]["form"].toArray(),
              (QJsonArray{QJsonArray{"user[email]", email}, QJsonArray{"user[password]", password},
                          QJsonArray{"user[hwfp]", machineId}}));
}

TEST_F(LoginDialogTest, EmptyFieldIgnoresTheClick)
{
    QString login;
    LoginDialog dialog(machineId, &login, 0);
    dialog.show();
    for (const auto& fields : {std::make_pair(email, QString()), std::make_pair(QString(), password)}) {
        enter(dialog, fields.first, fields.second);
        clickSignIn(dialog);
    }
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(sim->requestsTo("/api/kyb/v2/login.json").isEmpty());
}

TEST_F(LoginDialogTest, RefusedLoginShowsTheRedLabel)
{
    QString login;
    LoginDialog dialog(machineId, &login, 0);
    dialog.show();
    enter(dialog, email, "wrong password");
    clickSignIn(dialog);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(boxes.boxes.isEmpty());
    EXPECT_TRUE(child<QLabel>(dialog, "lblLoginOrPasswordIncorrect")->isVisible());
    EXPECT_TRUE(child<QLabel>(dialog, "lblForgotYourPassword")->isVisible());
    EXPECT_FALSE(child<QWidget>(dialog, "progressBar")->isVisible());
    EXPECT_FALSE(child<QWidget>(dialog, "lblConnectToServer")->isVisible());
    EXPECT_EQ(dialog.cursor().shape(), Qt::ArrowCursor);
    EXPECT_TRUE(child<QPushButton>(dialog, "btSignIn")->isEnabled());

    // The labels stay while the user tries again, and a right password then signs in.
    enter(dialog, email, password);
    clickSignIn(dialog);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(sim->requestsTo("/api/kyb/v2/login.json").size(), 2);
}

struct ServerErrorCase {
    const char* name;
    QJsonObject loginRoute;
    const char* text;
    const char* timeoutMs;  // shortens the request time-out when given
};

class LoginDialogServerErrors : public LoginDialogTest, public ::testing::WithParamInterface<ServerErrorCase> {};

TEST_P(LoginDialogServerErrors, ShowsTheServerErrorBox)
{
    const ServerErrorCase& c = GetParam();
    sim->setScenario(route("/api/kyb/v2/login.json", c.loginRoute));
    ktest::ScopedEnv timeout("KESTRUNE_REQUEST_TIMEOUT_MS", c.timeoutMs);
    QString login;
    LoginDialog dialog(machineId, &login, 1);
    dialog.show();
    enter(dialog, email, password);
    clickSignIn(dialog);

    ASSERT_EQ(boxes.boxes.size(), 1);
    const ktest::SeenBox& box = boxes.boxes[0];
    EXPECT_EQ(box.text, QString::fromUtf8(c.text));
    EXPECT_EQ(box.title, "Kestrune");
    EXPECT_EQ(box.icon, QMessageBox::NoIcon);
    EXPECT_EQ(box.parent, &dialog);
    EXPECT_TRUE(box.flags & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(box.flags & Qt::MSWindowsFixedSizeDialogHint);
    // The dialog stays open, no longer busy, for another try or Cancel.
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_FALSE(child<QWidget>(dialog, "progressBar")->isVisible());
    EXPECT_FALSE(child<QWidget>(dialog, "lblLoginOrPasswordIncorrect")->isVisible());
    EXPECT_TRUE(child<QPushButton>(dialog, "btCancel")->isEnabled());
}

INSTANTIATE_TEST_SUITE_P(
    Replies, LoginDialogServerErrors,
    ::testing::Values(
        ServerErrorCase{"Status500", QJsonObject{{"status", 500}}, "Server error: Incorrect server reply: 500", nullptr},
        ServerErrorCase{"Malformed", QJsonObject{{"malformed", true}}, "Server error: Wrong server response data", nullptr},
        ServerErrorCase{"MissingUok",
                        QJsonObject{{"json", QJsonObject{{"auth_token_crypted", "U2FsdGVkX1"}, {"hwfp_id", "1"}}}},
                        "Server error: Wrong server response data format", nullptr},
        ServerErrorCase{"Stall", QJsonObject{{"stall", true}}, "Server error: Timeout. Can't connect to the server", "1500"}),
    [](const ::testing::TestParamInfo<ServerErrorCase>& info) { return std::string(info.param.name); });

TEST_F(LoginDialogTest, NoSecondSignInWhileARequestWaits)
{
    sim->setScenario(route("/api/kyb/v2/login.json", QJsonObject{{"delay_ms", 4000}}));  // the probe's window
    QString login;
    LoginDialog dialog(machineId, &login, 0);
    dialog.show();
    enter(dialog, email, password);

    struct {
        bool seen = false;
        bool signInEnabled = true;
        bool cancelEnabled = false;
        bool busyShown = false;
    } during;
    QTimer probe;
    probe.setInterval(20);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (during.seen || sim->requestsTo("/api/kyb/v2/login.json").isEmpty())
            return;
        during.seen = true;
        during.signInEnabled = child<QPushButton>(dialog, "btSignIn")->isEnabled() ||
                               child<QPushButton>(dialog, "btSignInOnline")->isEnabled();
        during.cancelEnabled = child<QPushButton>(dialog, "btCancel")->isEnabled();
        during.busyShown = child<QWidget>(dialog, "progressBar")->isVisible() &&
                           child<QWidget>(dialog, "lblConnectToServer")->isVisible() &&
                           dialog.cursor().shape() == Qt::WaitCursor;
        // A second click, Return on the default button and Sign in online start nothing.
        clickSignIn(dialog);
        QTest::keyClick(child<QLineEdit>(dialog, "passEdit"), Qt::Key_Return);
        QTest::mouseClick(child<QPushButton>(dialog, "btSignInOnline"), Qt::LeftButton);
    });
    probe.start();
    clickSignIn(dialog);
    probe.stop();

    EXPECT_TRUE(boxes.boxes.isEmpty());
    ASSERT_TRUE(during.seen);
    EXPECT_FALSE(during.signInEnabled);
    EXPECT_TRUE(during.cancelEnabled);
    EXPECT_TRUE(during.busyShown);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(sim->requestsTo("/api/kyb/v2/login.json").size(), 1);
    EXPECT_TRUE(child<QPushButton>(dialog, "btSignIn")->isEnabled());
    EXPECT_TRUE(child<QPushButton>(dialog, "btSignInOnline")->isEnabled());
}

enum class Leave { CancelButton, Escape, CloseButton };

void leave(LoginDialog& dialog, Leave how)
{
    switch (how) {
    case Leave::CancelButton:
        QTest::mouseClick(dialog.findChild<QPushButton*>("btCancel"), Qt::LeftButton);
        break;
    case Leave::Escape:
        QTest::keyClick(&dialog, Qt::Key_Escape);
        break;
    case Leave::CloseButton:
        dialog.close();
        break;
    }
}

// Leaves the dialog, from a timer inside the wait of the request it started (the dialog's modal loop runs below).
struct LeaveWhenRequested {
    LeaveWhenRequested(LoginDialog& dialog, Leave how, const QString& path)
    {
        timer.setInterval(20);
        QObject::connect(&timer, &QTimer::timeout, [this, &dialog, how, path] {
            if (LoginDialogTest::simulator()->requestsTo(path).isEmpty())
                return;
            timer.stop();
            requestWaiting = ServerAPI::instance()->isWaiting();
            leave(dialog, how);
            hiddenAtOnce = !dialog.isVisible();
        });
        timer.start();
    }
    QTimer timer;
    bool requestWaiting = false;
    bool hiddenAtOnce = false;
};

std::string leaveName(Leave how)
{
    return how == Leave::CancelButton ? "Cancel" : how == Leave::Escape ? "Escape" : "Close";
}

class LoginDialogLeaving : public LoginDialogTest, public ::testing::WithParamInterface<Leave> {};

// A stalled service never answers: the dialog ends rejected while the request still waits, shows no failure and
// leaves the sign-in record alone. Then it signs in normally again.
TEST_P(LoginDialogLeaving, RejectsAtOnceWhileARequestWaits)
{
    sim->setScenario(route("/api/kyb/v2/login.json", QJsonObject{{"stall", true}}));
    accountState.authToken = "earlier-token";
    QString login;
    LoginDialog dialog(machineId, &login, 0);
    enter(dialog, email, password);
    LeaveWhenRequested leaver(dialog, GetParam(), "/api/kyb/v2/login.json");
    QTimer::singleShot(0, &dialog, [&] { clickSignIn(dialog); });
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);

    EXPECT_TRUE(leaver.requestWaiting);
    EXPECT_TRUE(leaver.hiddenAtOnce);
    EXPECT_FALSE(ServerAPI::instance()->isWaiting());
    EXPECT_TRUE(boxes.boxes.isEmpty());
    EXPECT_EQ(accountState.authToken, "earlier-token");
    EXPECT_TRUE(child<QPushButton>(dialog, "btSignIn")->isEnabled());

    sim->setScenario(QJsonObject());
    LoginDialog again(machineId, &login, 0);
    again.show();
    enter(again, email, password);
    clickSignIn(again);
    EXPECT_EQ(again.result(), QDialog::Accepted);
}

INSTANTIATE_TEST_SUITE_P(Ways, LoginDialogLeaving,
                         ::testing::Values(Leave::CancelButton, Leave::Escape, Leave::CloseButton),
                         [](const ::testing::TestParamInfo<Leave>& info) { return leaveName(info.param); });

TEST_F(LoginDialogTest, CancelDuringTheInfoRequestOfAWebSignInRejectsAtOnce)
{
    QJsonObject scenario{{"account", QJsonObject{{"web_signed_in", true}}},
                         {"routes", QJsonObject{{"/api/kyb/v2/info.json", QJsonObject{{"stall", true}}}}}};
    sim->setScenario(scenario);
    QString login = QStringLiteral("old@belmo.example");
    LoginDialog dialog(machineId, &login, 0);
    LeaveWhenRequested leaver(dialog, Leave::CancelButton, "/api/kyb/v2/info.json");
    QTimer::singleShot(0, &dialog, [&] {
        QTest::mouseClick(dialog.findChild<QPushButton*>("btSignInOnline"), Qt::LeftButton);
    });
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    EXPECT_TRUE(leaver.requestWaiting);
    EXPECT_TRUE(boxes.boxes.isEmpty());
    EXPECT_EQ(dialog.login(), "old@belmo.example");
    EXPECT_TRUE(accountState.authToken.empty());
}

// Cancel pressed inside a loop that runs above the request's wait (as a message box would): the request cannot
// return before that loop ends, and by then its answer has come. That late answer signs nobody in: signIn ends as
// cancelled, and neither kyb.dat nor the remembered login change.
TEST_F(LoginDialogTest, TheLateAnswerOfAnAbandonedRequestSignsNobodyIn)
{
    ktest::ScopedEnv machine("KESTRUNE_MACHINE_ID", machineId);
    sim->setScenario(route("/api/kyb/v2/login.json", QJsonObject{{"delay_ms", 1000}}));
    QFile::remove(savedLoginPath());
    QSettings("Belmo Group", "Kestrune").setValue("Login", "earlier@belmo.example");

    ktest::OnModal<LoginDialog> signInWhenShown([](LoginDialog* dialog) {
        enter(*dialog, email, password);
        QTimer::singleShot(0, dialog, [dialog] { clickSignIn(*dialog); });
    });
    bool answerCame = false;
    QTimer probe;
    probe.setInterval(20);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (sim->requestsTo("/api/kyb/v2/login.json").isEmpty())
            return;
        probe.stop();
        auto* dialog = qobject_cast<LoginDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        QEventLoop above;
        QTimer::singleShot(0, dialog, [dialog] { QTest::mouseClick(dialog->findChild<QPushButton*>("btCancel"), Qt::LeftButton); });
        // A second login, sent after the dialog's, is answered after it: once it is, the dialog's answer came too.
        QNetworkAccessManager manager;
        QNetworkReply* later = manager.post(QNetworkRequest(sim->url("/api/kyb/v2/login.json")), QByteArray());
        QObject::connect(later, &QNetworkReply::finished, &above, &QEventLoop::quit);
        above.exec();
        answerCame = later->error() == QNetworkReply::NoError || later->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
    });
    probe.start();

    EXPECT_EQ(signIn(0), 0);
    EXPECT_EQ(signInWhenShown.count(), 1);
    EXPECT_TRUE(answerCame);
    EXPECT_TRUE(accountState.authToken.empty());
    EXPECT_TRUE(accountState.login.empty());
    EXPECT_FALSE(QFile::exists(savedLoginPath()));
    EXPECT_EQ(QSettings("Belmo Group", "Kestrune").value("Login").toString(), "earlier@belmo.example");
    EXPECT_TRUE(boxes.boxes.isEmpty());
}

TEST_F(LoginDialogTest, SignInOnlineCompletesWithTheInfoRequest)
{
    QJsonObject account{{"web_signed_in", true}};
    sim->setScenario(QJsonObject{{"account", account}});
    QString login = QStringLiteral("old@belmo.example");
    LoginDialog dialog(machineId, &login, 0);
    dialog.show();
    QTest::mouseClick(child<QPushButton>(dialog, "btSignInOnline"), Qt::LeftButton);
    ASSERT_TRUE(ktest::waitUntil([&] { return !dialog.isVisible(); }));
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.login(), email);
    EXPECT_EQ(ServerAPI::decryptString(accountState.authToken, machineId), plainToken);
    const QList<QJsonObject> infos = sim->requestsTo("/api/kyb/v2/info.json");
    ASSERT_EQ(infos.size(), 1);
    EXPECT_EQ(infos[0]["form"].toArray(),
              (QJsonArray{QJsonArray{"auth_token", QString::fromStdString(plainToken)},
                          QJsonArray{"user[hwfp]", machineId}}));
}

TEST_F(LoginDialogTest, SignInOnlineRefusedOrClosedLeavesTheDialogAsItWas)
{
    QJsonObject scenario{{"account", QJsonObject{{"web_signed_in", true}}},
                         {"routes", QJsonObject{{"/api/kyb/v2/info.json", QJsonObject{{"status", 401}}}}}};
    sim->setScenario(scenario);
    QString login = QStringLiteral("old@belmo.example");
    LoginDialog dialog(machineId, &login, 0);
    dialog.show();
    child<QLineEdit>(dialog, "passEdit")->setText("typed");

    QTest::mouseClick(child<QPushButton>(dialog, "btSignInOnline"), Qt::LeftButton);
    ASSERT_TRUE(ktest::waitUntil([&] { return sim->requestsTo("/api/kyb/v2/info.json").size() == 1; }));
    QTest::qWait(100);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(boxes.boxes.isEmpty());
    EXPECT_EQ(dialog.login(), "old@belmo.example");
    EXPECT_EQ(child<QLineEdit>(dialog, "passEdit")->text(), "typed");

    // The web dialog closed without a token: no info request.
    sim->setScenario(QJsonObject());
    sim->clearLog();
    ktest::OnModal<QDialog> closeWeb([](QDialog* web) {
        if (web->objectName() == "WebLoginDialog")
            web->findChild<QPushButton*>("closeButton")->click();
    });
    QTest::mouseClick(child<QPushButton>(dialog, "btSignInOnline"), Qt::LeftButton);
    EXPECT_EQ(closeWeb.count(), 1);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(sim->requestsTo("/api/kyb/v2/info.json").isEmpty());
    EXPECT_EQ(dialog.login(), "old@belmo.example");
}

TEST_F(LoginDialogTest, SignInOnlineServerErrorShowsTheBox)
{
    QJsonObject scenario{{"account", QJsonObject{{"web_signed_in", true}}},
                         {"routes", QJsonObject{{"/api/kyb/v2/info.json", QJsonObject{{"status", 500}}}}}};
    sim->setScenario(scenario);
    QString login;
    LoginDialog dialog(machineId, &login, 0);
    dialog.show();
    QTest::mouseClick(child<QPushButton>(dialog, "btSignInOnline"), Qt::LeftButton);
    ASSERT_TRUE(ktest::waitUntil([&] { return !boxes.boxes.isEmpty(); }));
    EXPECT_EQ(boxes.boxes[0].text, "Server error: Incorrect server reply: 500");
    EXPECT_TRUE(dialog.isVisible());
}

}  // namespace
