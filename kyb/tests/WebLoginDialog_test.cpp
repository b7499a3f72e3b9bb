// The web sign-in dialog: QWebView on the offscreen platform against the account-service simulator's pages.
#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QJsonObject>
#include <QLayout>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QWebElement>
#include <QWebFrame>
#include <QWebPage>
#include <QWebView>

#include "kyb/dialogs/WebLoginDialog.h"
#include "kyb/tests/AccountSimTest.h"
#include "kyb/tests/BrowserRecorder.h"
#include "kyb/tests/DialogDriver.h"
#include "tests/support/AccountServiceSim.h"

using ktest::AccountServiceSim;

namespace {

const QString plainToken = QStringLiteral("demo-token-7f3c9a1e5b2d4c6f8a0e1b3d5f7a9c2e");

class WebLoginDialogTest : public ktest::AccountSimTest {
protected:
    void SetUp() override
    {
        AccountSimTest::SetUp();
        QDesktopServices::setUrlHandler("https", &browser, "open");
        QDesktopServices::setUrlHandler("http", &browser, "open");
        QDesktopServices::setUrlHandler("file", &browser, "open");
    }
    void TearDown() override
    {
        for (const char* scheme : {"https", "http", "file"})
            QDesktopServices::unsetUrlHandler(scheme);
    }

    static QWebView* view(WebLoginDialog& dialog) { return dialog.findChild<QWebView*>("webView"); }
    static QPushButton* goHome(WebLoginDialog& dialog) { return dialog.findChild<QPushButton*>("btnGoHome"); }

    // Waits for the view to finish loading; false when the load failed or never ended.
    static bool loaded(WebLoginDialog&, QSignalSpy& spy)
    {
        if (spy.isEmpty() && !spy.wait(15000))
            return false;
        return spy.takeFirst().at(0).toBool();
    }

    static void clickLink(WebLoginDialog& dialog, const QString& id)
    {
        QWebElement link = view(dialog)->page()->mainFrame()->findFirstElement("#" + id);
        ASSERT_FALSE(link.isNull()) << id.toStdString();
        const QPoint centre = link.geometry().center() - view(dialog)->page()->mainFrame()->scrollPosition();
        QTest::mouseClick(view(dialog), Qt::LeftButton, Qt::NoModifier, centre);
    }

    // A page on another host than the account's (the simulator's certificate also names localhost).
    QString otherHostUrl(const QString& path) const
    {
        return QStringLiteral("https://localhost:%1%2").arg(sim->port()).arg(path);
    }

    BrowserRecorder browser;
};

TEST_F(WebLoginDialogTest, FormAndStartPage)
{
    WebLoginDialog dialog(nullptr);
    QSignalSpy loads(view(dialog), &QWebView::loadFinished);
    EXPECT_EQ(dialog.objectName(), "WebLoginDialog");
    EXPECT_EQ(dialog.windowTitle(), "Web login");
    EXPECT_EQ(dialog.size(), QSize(870, 570));
    EXPECT_EQ(dialog.locale(), QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(dialog.layout()->contentsMargins(), QMargins(0, 0, 0, 0));
    ASSERT_NE(goHome(dialog), nullptr);
    EXPECT_TRUE(goHome(dialog)->isHidden());
    EXPECT_EQ(goHome(dialog)->text(), "Sign in with a different account");
    EXPECT_TRUE(goHome(dialog)->isFlat());
    EXPECT_FALSE(goHome(dialog)->icon().isNull());
    QPushButton* close = dialog.findChild<QPushButton*>("closeButton");
    ASSERT_NE(close, nullptr);
    EXPECT_EQ(close->text(), "Close");
    EXPECT_TRUE(close->isDefault());
    EXPECT_EQ(view(dialog)->page()->linkDelegationPolicy(), QWebPage::DelegateAllLinks);
    EXPECT_TRUE(dialog.token().isNull());

    ASSERT_TRUE(loaded(dialog, loads));
    EXPECT_EQ(view(dialog)->url(), sim->url("/services?kyb=true"));
    const QList<QJsonObject> starts = sim->requestsTo("/services");
    ASSERT_EQ(starts.size(), 1);
    EXPECT_EQ(starts[0]["query"].toObject()["kyb"].toString(), "true");
    EXPECT_TRUE(goHome(dialog)->isHidden());
}

TEST_F(WebLoginDialogTest, SignInOnThePageTakesTheTokenFromTheRedirect)
{
    WebLoginDialog dialog(nullptr);
    QSignalSpy loads(view(dialog), &QWebView::loadFinished);
    QSignalSpy finished(&dialog, &QDialog::finished);
    dialog.show();
    ASSERT_TRUE(loaded(dialog, loads));
    view(dialog)->page()->mainFrame()->evaluateJavaScript(
        "document.getElementById('user_email').value = 'demo@belmo.example';"
        "document.getElementById('user_password').value = 'demo-password';"
        "document.getElementById('sign_in').submit();");
    ASSERT_TRUE(finished.wait(15000));
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.token(), plainToken);
    EXPECT_EQ(sim->requestsTo("/services/sign_in").size(), 1);
}

TEST_F(WebLoginDialogTest, RunWebLoginReturnsTheToken)
{
    sim->setScenario(QJsonObject{{"account", QJsonObject{{"web_signed_in", true}}}});
    QString token = "stale";
    EXPECT_TRUE(runWebLogin(&token, nullptr));
    EXPECT_EQ(token, plainToken);
}

TEST_F(WebLoginDialogTest, ClosedDialogGivesNoToken)
{
    ktest::OnModal<WebLoginDialog> closer(
        [](WebLoginDialog* web) { QTest::mouseClick(web->findChild<QPushButton*>("closeButton"), Qt::LeftButton); });
    QString token = "stale";
    EXPECT_FALSE(runWebLogin(&token, nullptr));
    EXPECT_EQ(closer.count(), 1);
    EXPECT_TRUE(token.isNull());
}

struct UrlCase {
    const char* name;
    const char* url;  // {authority}: the account authority; {port}: its port
    bool accepted;
    const char* token;
    bool goHomeShown;
};

class WebLoginUrls : public WebLoginDialogTest, public ::testing::WithParamInterface<UrlCase> {};

TEST_P(WebLoginUrls, UrlChange)
{
    const UrlCase& c = GetParam();
    WebLoginDialog dialog(nullptr);
    QSignalSpy loads(view(dialog), &QWebView::loadFinished);
    ASSERT_TRUE(loaded(dialog, loads));
    dialog.show();
    QString url = QString::fromUtf8(c.url);
    url.replace("{authority}", sim->authority()).replace("{port}", QString::number(sim->port()));
    dialog.urlWasChanged(QUrl(url));
    EXPECT_EQ(dialog.result() == QDialog::Accepted, c.accepted);
    EXPECT_EQ(dialog.isVisible(), !c.accepted);
    if (c.token) {
        EXPECT_FALSE(dialog.token().isNull());
        EXPECT_EQ(dialog.token(), QString::fromUtf8(c.token));
    } else {
        EXPECT_TRUE(dialog.token().isNull());
    }
    EXPECT_EQ(goHome(dialog)->isHidden(), !c.goHomeShown);
}

INSTANTIATE_TEST_SUITE_P(
    Urls, WebLoginUrls,
    ::testing::Values(
        UrlCase{"TokenOnAccountHost", "https://{authority}/services/signed_in?kyb=true&auth_token=abc123", true, "abc123", false},
        UrlCase{"EmptyToken", "https://{authority}/done?auth_token=", true, "", false},
        UrlCase{"EncodedToken", "https://{authority}/done?auth_token=a%2Bb%2Fc%3D%3D", true, "a+b/c==", false},
        UrlCase{"NoTokenOnAccountHost", "https://{authority}/services?kyb=true", false, nullptr, false},
        UrlCase{"TokenOnOtherHost", "https://localhost:{port}/done?auth_token=abc123", false, nullptr, true},
        UrlCase{"TokenInPathOnly", "https://{authority}/auth_token/abc123", false, nullptr, false},
        // A token travels only over https.
        UrlCase{"TokenOverPlainHttp", "http://{authority}/done?auth_token=abc123", false, nullptr, false}),
    [](const ::testing::TestParamInfo<UrlCase>& info) { return std::string(info.param.name); });

TEST_F(WebLoginDialogTest, LinksFollowThePageTheViewShows)
{
    // The start page's "elsewhere" link leads to another host; on the account's page it stays in the view.
    const QString elsewhere = otherHostUrl("/elsewhere");
    QJsonObject page{{"status", 200},
                     {"body", QStringLiteral("<html><body><p>"
                                             "<a id='back' href='https://%1/signup'>Back</a><br>"
                                             "<a id='local' href='file:///etc/passwd'>Local</a>"
                                             "</p></body></html>")
                                  .arg(sim->authority())},
                     {"headers", QJsonObject{{"Content-Type", "text/html; charset=utf-8"}}}};
    sim->setScenario(QJsonObject{{"account", QJsonObject{{"external_link", elsewhere}}},
                                 {"routes", QJsonObject{{"/elsewhere", page}}}});

    WebLoginDialog dialog(nullptr);
    QSignalSpy loads(view(dialog), &QWebView::loadFinished);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    ASSERT_TRUE(loaded(dialog, loads));

    clickLink(dialog, "elsewhere");
    ASSERT_TRUE(loaded(dialog, loads));
    EXPECT_EQ(view(dialog)->url(), QUrl(elsewhere));
    EXPECT_TRUE(browser.opened.isEmpty());
    EXPECT_FALSE(goHome(dialog)->isHidden());

    // Away from the account host, links go to the system's browser (http and https only) and the view stays.
    clickLink(dialog, "back");
    ASSERT_TRUE(ktest::waitUntil([&] { return !browser.opened.isEmpty(); }, 30000));
    ASSERT_EQ(browser.opened.size(), 1);
    EXPECT_EQ(browser.opened[0], sim->url("/signup")) << browser.opened[0].toString().toStdString();
    clickLink(dialog, "local");
    QTest::qWait(200);
    EXPECT_EQ(browser.opened.size(), 1);
    EXPECT_EQ(view(dialog)->url(), QUrl(elsewhere));
    EXPECT_TRUE(sim->requestsTo("/signup").isEmpty());

    // "Sign in with a different account" returns to the start page.
    QTest::mouseClick(goHome(dialog), Qt::LeftButton);
    ASSERT_TRUE(loaded(dialog, loads));
    EXPECT_EQ(view(dialog)->url(), sim->url("/services?kyb=true"));
    EXPECT_TRUE(goHome(dialog)->isHidden());
    EXPECT_EQ(sim->requestsTo("/services").size(), 2);
}

TEST_F(WebLoginDialogTest, UntrustedCertificateLoadsNothing)
{
    AccountServiceSim::Options options;
    options.trustedCa = false;
    AccountServiceSim untrusted(QJsonObject{{"account", QJsonObject{{"web_signed_in", true}}}}, options);
    ASSERT_TRUE(untrusted.isRunning());
    WebLoginDialog dialog(nullptr);
    QSignalSpy loads(view(dialog), &QWebView::loadFinished);
    QSignalSpy finished(&dialog, &QDialog::finished);
    dialog.show();
    EXPECT_FALSE(loaded(dialog, loads));
    QTest::qWait(200);
    EXPECT_TRUE(finished.isEmpty());
    EXPECT_TRUE(dialog.token().isNull());
    // The redirect that would carry the token was never asked for.
    EXPECT_TRUE(untrusted.requestsTo("/services").isEmpty());
}

}  // namespace

#include "moc_BrowserRecorder.cpp"
