#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <functional>
#include <memory>
#include <optional>

#include "ui/formYN.h"
#include "ui/uiplatform.h"

namespace {

using Look = std::function<void(TFormYesNo *)>;
using Act = std::function<void(TFormYesNo *)>;

const QColor background(208, 204, 196);

void clickYes(TFormYesNo *dialog)
{
    QTest::mouseClick(dialog->BitBtnDa, Qt::LeftButton);
}
void clickNo(TFormYesNo *dialog)
{
    QTest::mouseClick(dialog->BitBtnNet, Qt::LeftButton);
}
void closeWindow(TFormYesNo *dialog)
{
    dialog->close();
}
void pressEnter(TFormYesNo *dialog)
{
    QTest::keyClick(dialog->focusWidget(), Qt::Key_Return);
}
void escapeThenYes(TFormYesNo *dialog)
{
    QTest::keyClick(dialog->focusWidget(), Qt::Key_Escape);
    clickYes(dialog);
}

// Asks through AskYesNo; while the real modal dialog is open, look() reads it
// and act() answers it. Empty when no modal dialog turned up.
std::optional<bool> ask(const QString &question, QObject *owner, const Look &look, const Act &act)
{
    bool reached = false;
    QTimer::singleShot(0, [&] {
        auto *dialog = qobject_cast<TFormYesNo *>(QApplication::activeModalWidget());
        if (!dialog) {
            if (FormYesNo)
                FormYesNo->hide();
            return;
        }
        reached = true;
        if (look)
            look(dialog);
        act(dialog);
    });
    const bool answer = AskYesNo(question, owner);
    if (!reached)
        return std::nullopt;
    return answer;
}

// The side picture shows source's bitmap with its white dropped out.
bool showsPicture(const QLabel *shown, const QLabel *source)
{
    const QImage have = shown->pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
    const QImage want = source->pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
    if (have.size() != want.size() || want.isNull())
        return false;
    for (int y = 0; y < want.height(); ++y) {
        for (int x = 0; x < want.width(); ++x) {
            const QRgb w = want.pixel(x, y);
            const QRgb h = have.pixel(x, y);
            if (qRgb(qRed(w), qGreen(w), qBlue(w)) == qRgb(255, 255, 255)) {
                if (qAlpha(h) != 0)
                    return false;
            } else if (h != w) {
                return false;
            }
        }
    }
    return true;
}

} // namespace

class TestFormYesNo : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void q1310_data();
    void q1310();
    void answers_data();
    void answers();
    void labelText_data();
    void labelText();
    void placement_data();
    void placement();
    void outerFrame_data();
    void outerFrame();
    void setWH_data();
    void setWH();
    void fitHeight_data();
    void fitHeight();
    void frame_data();
    void frame();
    void pictureStep_data();
    void pictureStep();
    void unknownPictureLetterKeepsPicture();
    void stripTexture_data();
    void stripTexture();
    void resetAfterClose_data();
    void resetAfterClose();
    void footprints_data();
    void footprints();
    void footprintsWalkOnTimer();
    void closingStopsWalk();
    void createdOnFirstUse();

private:
    std::unique_ptr<TFormYesNo> m_dialog;
};

void TestFormYesNo::init()
{
    m_dialog = std::make_unique<TFormYesNo>();
    QCOMPARE(FormYesNo, m_dialog.get());
}

void TestFormYesNo::cleanup()
{
    m_dialog.reset();
    QCOMPARE(FormYesNo, nullptr);
}

void TestFormYesNo::q1310_data()
{
    QTest::addColumn<QString>("question");
    QTest::addColumn<QString>("expected");
    // clang-format off
    QTest::newRow("empty") << "" << "";
    QTest::newRow("plain") << "прервать обработку?" << "прервать обработку?";
    QTest::newRow("two pieces") << "a|b" << "a\r\nb";
    QTest::newRow("three pieces") << "a|b|c" << "a\r\nb\r\nc";
    QTest::newRow("two bars in a row") << "a||b" << "a\r\n\r\nb";
    QTest::newRow("trailing bar") << "a|" << "a";
    QTest::newRow("two trailing bars") << "a||" << "a\r\n";
    QTest::newRow("leading bar") << "|a" << "\r\na";
    QTest::newRow("lone bar") << "|" << "";
    QTest::newRow("blanks only") << "  \t  " << "";
    QTest::newRow("outer blanks go") << "  a b  " << "a b";
    QTest::newRow("blanks beside a bar stay") << "a | b" << "a \r\n b";
    QTest::newRow("control characters go") << QString("\r\n\x01" "a\x1f") << "a";
    QTest::newRow("bar after trailing blanks") << "a|   " << "a";
    QTest::newRow("existing line break stays") << "a\r\nb|c" << "a\r\nb\r\nc";
    // clang-format on
    QTest::newRow("no-break space stays") << QString(QChar(0xA0)) + "a" << QString(QChar(0xA0)) + "a";
}

void TestFormYesNo::q1310()
{
    QFETCH(QString, question);
    QFETCH(QString, expected);
    QCOMPARE(m_dialog->q1310(question), expected);
}

void TestFormYesNo::answers_data()
{
    QTest::addColumn<Act>("act");
    QTest::addColumn<int>("defaultButton");
    QTest::addColumn<int>("presetAnswer");
    QTest::addColumn<bool>("expected");
    QTest::addColumn<QString>("focused");
    QTest::newRow("yes button") << Act(clickYes) << 0 << 0 << true << "BitBtnNet";
    QTest::newRow("no button") << Act(clickNo) << 0 << 0 << false << "BitBtnNet";
    QTest::newRow("closed without a button") << Act(closeWindow) << 0 << 0 << false << "BitBtnNet";
    QTest::newRow("closed after an earlier yes") << Act(closeWindow) << 0 << 1 << false << "BitBtnNet";
    QTest::newRow("enter at once") << Act(pressEnter) << 0 << 0 << false << "BitBtnNet";
    QTest::newRow("enter, yes focused") << Act(pressEnter) << int('y') << 0 << true << "BitBtnDa";
    QTest::newRow("enter, other letter") << Act(pressEnter) << int('n') << 0 << false << "BitBtnNet";
    QTest::newRow("escape does nothing") << Act(escapeThenYes) << 0 << 0 << true << "BitBtnNet";
}

void TestFormYesNo::answers()
{
    QFETCH(Act, act);
    QFETCH(int, defaultButton);
    QFETCH(int, presetAnswer);
    QFETCH(bool, expected);
    QFETCH(QString, focused);

    m_dialog->DefaultButton = char(defaultButton);
    m_dialog->Answer = quint8(presetAnswer);
    QString focus;
    bool topMost = false;
    const auto answer = ask(
        QString(), nullptr,
        [&](TFormYesNo *dialog) {
            if (QWidget *widget = dialog->focusWidget())
                focus = widget->objectName();
            topMost = dialog->windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint);
        },
        act);
    QVERIFY(answer.has_value());
    QCOMPARE(*answer, expected);
    QCOMPARE(focus, focused);
    QVERIFY(!m_dialog->isVisible());
    QVERIFY(topMost);
    QVERIFY(!m_dialog->windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));
}

void TestFormYesNo::labelText_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("question");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("yes");
    QTest::addColumn<QString>("no");
    const QString russian = QStringLiteral("Вы действительно хотите\r\nудалить текущую запись?");
    const QString english = QStringLiteral("Do you really want\r\nto delete this record?");
    // clang-format off
    QTest::newRow("empty, russian") << int('r') << "" << russian << "да" << "нет";
    QTest::newRow("empty, english") << int('e') << "" << english << "yes" << "no";
    QTest::newRow("lone bar, english") << int('e') << "|" << english << "yes" << "no";
    QTest::newRow("other letter asks russian") << int('x') << "" << russian << "да" << "нет";
    QTest::newRow("own question") << int('r') << "удалить всё из базы, кроме справочников?"
                                  << "удалить всё из базы, кроме справочников?" << "да" << "нет";
    QTest::newRow("own question, english buttons") << int('e') << " прервать|обработку? "
                                                   << "прервать\r\nобработку?" << "yes" << "no";
    // clang-format on
}

void TestFormYesNo::labelText()
{
    QFETCH(int, language);
    QFETCH(QString, question);
    QFETCH(QString, label);
    QFETCH(QString, yes);
    QFETCH(QString, no);

    m_dialog->Language = char(language);
    QString shownLabel, shownYes, shownNo;
    QColor colour;
    const auto answer = ask(
        question, nullptr,
        [&](TFormYesNo *dialog) {
            shownLabel = dialog->LabelTXT->text();
            shownYes = dialog->BitBtnDa->text();
            shownNo = dialog->BitBtnNet->text();
            colour = dialog->LabelTXT->palette().color(QPalette::WindowText);
        },
        clickNo);
    QVERIFY(answer.has_value());
    QCOMPARE(shownLabel, label);
    QCOMPARE(shownYes, yes);
    QCOMPARE(shownNo, no);
    QCOMPARE(colour, QColor(Qt::black));
    // The close puts the one-line reset text back.
    QCOMPARE(m_dialog->LabelTXT->text(), QStringLiteral("Вы действительно хотите удалить текущую запись?"));
}

void TestFormYesNo::placement_data()
{
    QTest::addColumn<QString>("owner");
    QTest::addColumn<QRect>("ownerGeometry");
    QTest::addColumn<QPoint>("expected");
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QPoint screenCentre(screen.x() + (screen.width() - 520) / 2, screen.y() + (screen.height() - 120) / 2);
    QTest::newRow("wide window") << "window" << QRect(100, 50, 800, 600) << QPoint(240, 290);
    QTest::newRow("narrow window") << "window" << QRect(100, 50, 300, 100) << QPoint(-10, 40);
    QTest::newRow("odd overhang halved toward zero") << "window" << QRect(0, 0, 301, 99) << QPoint(-109, -10);
    QTest::newRow("child widget uses the screen") << "child" << QRect(100, 50, 800, 600) << screenCentre;
    QTest::newRow("plain object uses the screen") << "object" << QRect() << screenCentre;
    QTest::newRow("no owner uses the screen") << "none" << QRect() << screenCentre;
}

void TestFormYesNo::placement()
{
    QFETCH(QString, owner);
    QFETCH(QRect, ownerGeometry);
    QFETCH(QPoint, expected);

    QWidget window;
    window.setGeometry(ownerGeometry);
    QWidget child(&window);
    child.setGeometry(10, 10, 50, 50);
    QObject object;
    QObject *asked = owner == "window" ? static_cast<QObject *>(&window)
        : owner == "child"             ? static_cast<QObject *>(&child)
        : owner == "object"            ? &object
                                       : nullptr;
    QRect shown;
    const auto answer = ask(
        QString(), asked, [&](TFormYesNo *dialog) { shown = dialog->geometry(); }, clickNo);
    QVERIFY(answer.has_value());
    QCOMPARE(shown, QRect(expected, QSize(520, 120)));
}

void TestFormYesNo::outerFrame_data()
{
    QTest::addColumn<QRect>("reported");
    QTest::addColumn<QRect>("outer");
    const QRect client(235, 195, 554, 377);
    QTest::newRow("frame around the window") << QRect(234, 172, 556, 401) << QRect(234, 172, 556, 401);
    QTest::newRow("no frame") << client << client;
    // As the window manager's frame was read while it was still being made.
    QTest::newRow("frame read at 1 x 1") << QRect(235, 195, 1, 1) << client;
    QTest::newRow("frame narrower than the window") << QRect(234, 172, 300, 401) << client;
    QTest::newRow("frame elsewhere") << QRect(0, 0, 556, 401) << client;
}

void TestFormYesNo::outerFrame()
{
    QFETCH(QRect, reported);
    QFETCH(QRect, outer);
    QCOMPARE(platform::outerFrame(reported, QRect(235, 195, 554, 377)), outer);
}

namespace {

void compareDefaultLayout(const TFormYesNo *dialog)
{
    QCOMPARE(dialog->size(), QSize(520, 120));
    QCOMPARE(dialog->BitBtnDa->geometry(), QRect(368, 22, 120, 33));
    QCOMPARE(dialog->BitBtnNet->geometry(), QRect(368, 65, 120, 33));
    QCOMPARE(dialog->PaintBoxR->geometry(), QRect(336, 2, 182, 116));
    QCOMPARE(dialog->LabelTXT->geometry(), QRect(96, 8, 216, 104));
    QCOMPARE(dialog->ImageXX->geometry(), QRect(40, 40, 40, 40));
}

} // namespace

void TestFormYesNo::setWH_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("centre");
    QTest::addColumn<QRect>("yes");
    QTest::addColumn<QRect>("no");
    QTest::addColumn<QRect>("strip");
    QTest::addColumn<QRect>("label");
    QTest::addColumn<QRect>("picture");
    QTest::newRow("larger, buttons at the top")
        << QSize(600, 200) << int('n') << QRect(464, 16, 120, 33) << QRect(464, 57, 120, 33) << QRect(448, 2, 150, 196)
        << QRect(96, 8, 344, 184) << QRect(40, 40, 40, 40);
    QTest::newRow("larger, centred") << QSize(600, 200) << int('y') << QRect(464, 63, 120, 33)
                                     << QRect(464, 104, 120, 33) << QRect(448, 2, 150, 196) << QRect(96, 8, 344, 184)
                                     << QRect(40, 80, 40, 40);
    QTest::newRow("smaller, centred") << QSize(400, 91) << int('y') << QRect(264, 8, 120, 33) << QRect(264, 49, 120, 33)
                                      << QRect(248, 2, 150, 87) << QRect(96, 8, 144, 75) << QRect(40, 25, 40, 40);
}

void TestFormYesNo::setWH()
{
    QFETCH(QSize, size);
    QFETCH(int, centre);
    QFETCH(QRect, yes);
    QFETCH(QRect, no);
    QFETCH(QRect, strip);
    QFETCH(QRect, label);
    QFETCH(QRect, picture);

    m_dialog->SetWH(size.width(), size.height(), char(centre));
    QCOMPARE(m_dialog->size(), size);
    QCOMPARE(m_dialog->BitBtnDa->geometry(), yes);
    QCOMPARE(m_dialog->BitBtnNet->geometry(), no);
    QCOMPARE(m_dialog->PaintBoxR->geometry(), strip);
    QCOMPARE(m_dialog->LabelTXT->geometry(), label);
    QCOMPARE(m_dialog->ImageXX->geometry(), picture);

    m_dialog->RestoreDEF();
    compareDefaultLayout(m_dialog.get());
}

void TestFormYesNo::fitHeight_data()
{
    QTest::addColumn<QString>("question");
    QTest::addColumn<int>("lines");
    QTest::newRow("short question keeps 88") << "удалить?" << 1;
    QTest::newRow("default question keeps 88") << "" << 2;
    QTest::newRow("ten lines") << "1|2|3|4|5|6|7|8|9|10" << 10;
    QTest::newRow("long line wrapped") << QStringLiteral("очень длинный вопрос ").repeated(12) << 5;
}

void TestFormYesNo::fitHeight()
{
    QFETCH(QString, question);
    QFETCH(int, lines);

    QWidget owner;
    owner.setGeometry(0, 0, 800, 600);
    m_dialog->FitHeight = true;
    QRect shown, label, yes, no, picture, strip;
    QString text;
    QImage surface;
    const auto answer = ask(
        question, &owner,
        [&](TFormYesNo *dialog) {
            shown = dialog->geometry();
            label = dialog->LabelTXT->geometry();
            yes = dialog->BitBtnDa->geometry();
            no = dialog->BitBtnNet->geometry();
            picture = dialog->ImageXX->geometry();
            strip = dialog->PaintBoxR->geometry();
            text = dialog->LabelTXT->text();
            surface = dialog->grab().toImage();
        },
        clickNo);
    QVERIFY(answer.has_value());

    const QFontMetrics metrics(m_dialog->LabelTXT->font());
    // Measured the way a word-wrapping label measures itself.
    const int textHeight
        = metrics.boundingRect(QRect(0, 0, 216, 2000), Qt::AlignLeft | Qt::TextWordWrap, text).height();
    QVERIFY(textHeight >= lines * metrics.height());
    const int expected = textHeight + 16 > 88 ? textHeight + 32 : 88;
    QCOMPARE(expected == 88, lines <= 2);

    // Placed from the height before fitting; not moved afterwards.
    QCOMPARE(shown.topLeft(), QPoint(140, 240));
    QCOMPARE(shown.size(), QSize(520, expected));
    QCOMPARE(label, QRect(96, 8, 216, expected - 16));
    QCOMPARE(yes.top(), (expected - 74) / 2);
    QCOMPARE(no.top(), yes.top() + 41);
    QCOMPARE(picture.top(), (expected - 40) / 2);
    // The strip ends inside the frame, whose bottom shows beneath it.
    QCOMPARE(strip, QRect(336, 2, 182, expected - 4));
    QCOMPARE(surface.size(), QSize(520, expected));
    QCOMPARE(surface.pixelColor(400, expected - 2), QColor(128, 128, 128));
    QCOMPARE(surface.pixelColor(400, expected - 1), QColor(Qt::black));
    // The next question starts from 520 x 120 again, still fitted.
    compareDefaultLayout(m_dialog.get());
    QVERIFY(m_dialog->FitHeight);
}

void TestFormYesNo::frame_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<QColor>("colour");
    const QColor white(Qt::white), black(Qt::black), grey(128, 128, 128);
    const QSize size(520, 120);
    // Each line of the frame stops one pixel short of its end point, which the
    // next line starts from.
    QTest::newRow("outline top-left corner") << size << QPoint(0, 0) << black;
    QTest::newRow("outline top-right corner") << size << QPoint(519, 0) << black;
    QTest::newRow("outline bottom-right corner") << size << QPoint(519, 119) << black;
    QTest::newRow("outline bottom-left corner") << size << QPoint(0, 119) << black;
    QTest::newRow("outline left") << size << QPoint(0, 60) << black;
    QTest::newRow("outline top") << size << QPoint(260, 0) << black;
    QTest::newRow("outline right") << size << QPoint(519, 60) << black;
    QTest::newRow("outline bottom") << size << QPoint(260, 119) << black;
    QTest::newRow("edge top-left corner is white") << size << QPoint(1, 1) << white;
    QTest::newRow("edge top-right corner is grey") << size << QPoint(518, 1) << grey;
    QTest::newRow("edge bottom-right corner is grey") << size << QPoint(518, 118) << grey;
    QTest::newRow("edge bottom-left corner is white") << size << QPoint(1, 118) << white;
    QTest::newRow("edge left") << size << QPoint(1, 60) << white;
    QTest::newRow("edge top, last white") << size << QPoint(517, 1) << white;
    QTest::newRow("edge right, first grey below the corner") << size << QPoint(518, 2) << grey;
    QTest::newRow("edge bottom, last grey") << size << QPoint(2, 118) << grey;
    QTest::newRow("body") << size << QPoint(20, 20) << background;
    QTest::newRow("inside the edge") << size << QPoint(2, 2) << background;
    QTest::newRow("outline after a resize") << QSize(600, 200) << QPoint(599, 199) << black;
    QTest::newRow("edge bottom-left after a resize") << QSize(600, 200) << QPoint(1, 198) << white;
    QTest::newRow("edge top-right after a resize") << QSize(600, 200) << QPoint(598, 1) << grey;
}

void TestFormYesNo::frame()
{
    QFETCH(QSize, size);
    QFETCH(QPoint, point);
    QFETCH(QColor, colour);

    m_dialog->SetWH(size.width(), size.height(), 'y');
    QCOMPARE(m_dialog->grab().toImage().pixelColor(point), colour);
}

void TestFormYesNo::pictureStep_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<QString>("picture");
    QTest::newRow("q to r") << int('q') << int('r') << "ImageR";
    QTest::newRow("r to b") << int('r') << int('b') << "ImageB";
    QTest::newRow("b to y") << int('b') << int('y') << "ImageY";
    QTest::newRow("y back to q") << int('y') << int('q') << "ImageQ";
    QTest::newRow("unknown letter to q") << int('z') << int('q') << "ImageQ";
    QTest::newRow("zero byte to q") << 0 << int('q') << "ImageQ";
}

void TestFormYesNo::pictureStep()
{
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(QString, picture);

    m_dialog->PictureLetter = char(from);
    m_dialog->ImageXX->hide();
    m_dialog->ImageXXDblClick();
    QCOMPARE(m_dialog->PictureLetter, char(to));
    QVERIFY(!m_dialog->ImageXX->isHidden());
    QVERIFY(showsPicture(m_dialog->ImageXX, m_dialog->findChild<QLabel *>(picture)));
}

void TestFormYesNo::unknownPictureLetterKeepsPicture()
{
    m_dialog->PictureLetter = 'b';
    m_dialog->ShowImage(true);
    m_dialog->PictureLetter = 'x';
    m_dialog->ShowImage(false);
    QVERIFY(!m_dialog->ImageXX->isHidden());
    m_dialog->PictureLetter = 'X';
    m_dialog->ShowImage(true);
    QVERIFY(showsPicture(m_dialog->ImageXX, m_dialog->ImageB));
}

void TestFormYesNo::stripTexture_data()
{
    QTest::addColumn<int>("letter");
    QTest::addColumn<QString>("texture");
    QTest::newRow("green") << int('g') << "ImageGLI";
    QTest::newRow("red") << int('r') << "ImageRLI";
    QTest::newRow("other letter is green") << int('x') << "ImageGLI";
}

void TestFormYesNo::stripTexture()
{
    QFETCH(int, letter);
    QFETCH(QString, texture);

    BackLetter = char(letter);
    m_dialog->show();
    const QImage strip = m_dialog->PaintBoxR->grab().toImage();
    m_dialog->hide();
    const QImage tile = m_dialog->findChild<QLabel *>(texture)->pixmap().toImage();
    QCOMPARE(strip.size(), QSize(182, 116));
    QCOMPARE(tile.size(), QSize(60, 40));
    // Tiled from the strip's own top-left corner, cut at its right and bottom.
    for (const QPoint point :
         {QPoint(0, 0), QPoint(59, 39), QPoint(60, 0), QPoint(73, 45), QPoint(131, 97), QPoint(181, 115)})
        QCOMPARE(strip.pixelColor(point), tile.pixelColor(point.x() % 60, point.y() % 40));
}

void TestFormYesNo::resetAfterClose_data()
{
    QTest::addColumn<Act>("act");
    QTest::addColumn<int>("backAfter");
    QTest::newRow("answered yes") << Act(clickYes) << int('g');
    QTest::newRow("answered no") << Act(clickNo) << int('g');
    QTest::newRow("closed without a button keeps the red strip") << Act(closeWindow) << int('r');
}

void TestFormYesNo::resetAfterClose()
{
    QFETCH(Act, act);
    QFETCH(int, backAfter);

    char stepped = 0;
    QString back;
    const auto first = ask(
        QString(), nullptr,
        [&](TFormYesNo *dialog) {
            QTest::mouseDClick(dialog->ImageXX, Qt::LeftButton);
            QTest::mouseDClick(dialog->ImageXX, Qt::LeftButton);
            stepped = dialog->PictureLetter;
            for (int click = 0; click < 3; ++click) {
                QTest::mouseDClick(dialog->PaintBoxR, Qt::LeftButton);
                back += QLatin1Char(BackLetter);
            }
        },
        act);
    QVERIFY(first.has_value());
    QCOMPARE(stepped, 'b');
    QCOMPARE(back, QStringLiteral("rgr"));
    QCOMPARE(BackLetter, char(backAfter));

    bool showsQuestion = false;
    char letter = 0;
    const auto second = ask(
        QString(), nullptr,
        [&](TFormYesNo *dialog) {
            letter = dialog->PictureLetter;
            showsQuestion = !dialog->ImageXX->isHidden() && showsPicture(dialog->ImageXX, dialog->ImageQ);
        },
        clickNo);
    QVERIFY(second.has_value());
    QCOMPARE(letter, 'q');
    QVERIFY(showsQuestion);
}

void TestFormYesNo::footprints_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QRect>("repainted");
    QTest::addColumn<QList<int>>("kept");
    const QString russian = QStringLiteral("Уже уходите?");
    const QString english = QStringLiteral("Do you really want to quit?");
    const QRect whole(0, 0, 520, 120);
    QTest::newRow("russian") << int('r') << russian << whole << QList<int>{};
    QTest::newRow("english") << int('e') << english << whole << QList<int>{};
    QTest::newRow("other letter is english") << int('x') << english << whole << QList<int>{};
    QTest::newRow("repaint of the left part erases the prints there")
        << int('r') << russian << QRect(0, 0, 64, 120) << QList<int>{0, 1, 2};
    QTest::newRow("repaint of the strip keeps them all")
        << int('r') << russian << QRect(336, 2, 182, 116) << QList<int>{0, 1, 2, 3, 4, 5};
}

namespace {

// Which of the prints the window shows now: read from what it shows, not
// from a fresh rendering of it.
QList<bool> printsShown(TFormYesNo *dialog, const QList<QPoint> &corners)
{
    const QImage surface = dialog->screen()->grabWindow(dialog->winId()).toImage();
    QList<bool> shown;
    for (const QPoint corner : corners)
        shown << (surface.pixelColor(corner + QPoint(12, 12)) != background);
    return shown;
}

} // namespace

void TestFormYesNo::footprints()
{
    QFETCH(int, language);
    QFETCH(QString, label);
    QFETCH(QRect, repainted);
    QFETCH(QList<int>, kept);

    const QList<QPoint> corners{{90, 72}, {66, 72}, {70, 52}, {46, 52}, {50, 32}, {26, 32}};
    m_dialog->Language = char(language);
    m_dialog->QuitMode = true;
    QString shown;
    bool pictureHidden = false;
    bool walking = false;
    bool stopped = false;
    QList<QPoint> placed;
    // drawn[k][i]: after k ticks, whether print i shows on the window.
    QList<QList<bool>> drawn;
    QList<bool> afterRepaint;
    QList<bool> rendered;
    const auto answer = ask(
        QStringLiteral("удалить?"), nullptr,
        [&](TFormYesNo *dialog) {
            shown = dialog->LabelTXT->text();
            pictureHidden = dialog->ImageXX->isHidden();
            walking = dialog->TimerSteps->isActive();
            // The window must be on show before anything can be read from it.
            QVERIFY(QTest::qWaitForWindowExposed(dialog));
            QCOMPARE(dialog->StepCount, 0);
            // Ticks driven by hand; nothing from here lets the real timer fire.
            for (int tick = 0; tick <= 6; ++tick) {
                if (tick > 0) {
                    const bool right = dialog->StepCount % 2 == 0;
                    dialog->TimerStepsTimer();
                    placed << (right ? dialog->RightFootRect : dialog->LeftFootRect).topLeft();
                }
                drawn << printsShown(dialog, corners);
            }
            stopped = !dialog->TimerSteps->isActive() && dialog->StepCount == 6;
            // The prints are not part of the window's picture.
            const QImage picture = dialog->grab().toImage();
            for (const QPoint corner : corners)
                rendered << (picture.pixelColor(corner + QPoint(12, 12)) != background);
            dialog->repaint(repainted);
            afterRepaint = printsShown(dialog, corners);
        },
        clickYes);
    QVERIFY(answer.has_value());
    QCOMPARE(*answer, true);
    QCOMPARE(shown, label);
    QVERIFY(pictureHidden);
    QVERIFY(walking);
    QVERIFY(stopped);
    QCOMPARE(placed, corners);
    QCOMPARE(drawn.size(), 7);
    for (int tick = 0; tick <= 6; ++tick)
        for (int print = 0; print < 6; ++print)
            QVERIFY2(drawn[tick][print] == (print < tick),
                     qPrintable(QStringLiteral("print %1 after %2 ticks").arg(print).arg(tick)));
    QCOMPARE(rendered, QList<bool>(6, false));
    QCOMPARE(afterRepaint.size(), 6);
    for (int print = 0; print < 6; ++print)
        QVERIFY2(afterRepaint[print] == kept.contains(print),
                 qPrintable(QStringLiteral("print %1 after the repaint").arg(print)));
    QVERIFY(!m_dialog->QuitMode);
    QVERIFY(!m_dialog->ImageXX->isHidden());
}

void TestFormYesNo::footprintsWalkOnTimer()
{
    m_dialog->QuitMode = true;
    int steps = -1;
    bool running = true;
    const auto answer = ask(
        QString(), nullptr,
        [&](TFormYesNo *dialog) {
            running = !QTest::qWaitFor([&] { return !dialog->TimerSteps->isActive(); }, 20000);
            steps = dialog->StepCount;
        },
        clickNo);
    QVERIFY(answer.has_value());
    QVERIFY(!running);
    QCOMPARE(steps, 6);
}

void TestFormYesNo::closingStopsWalk()
{
    m_dialog->QuitMode = true;
    const auto first = ask(
        QString(), nullptr,
        [&](TFormYesNo *dialog) {
            dialog->TimerStepsTimer();
            dialog->TimerStepsTimer();
        },
        closeWindow);
    QVERIFY(first.has_value());
    QVERIFY(!m_dialog->TimerSteps->isActive());
    QCOMPARE(m_dialog->StepCount, 0);
    QVERIFY(!m_dialog->QuitMode);

    bool walking = true;
    QColor firstPrint;
    const auto second = ask(
        QString(), nullptr,
        [&](TFormYesNo *dialog) {
            walking = dialog->TimerSteps->isActive();
            QVERIFY(QTest::qWaitForWindowExposed(dialog));
            firstPrint = dialog->screen()->grabWindow(dialog->winId()).toImage().pixelColor(102, 84);
        },
        clickNo);
    QVERIFY(second.has_value());
    QVERIFY(!walking);
    QCOMPARE(firstPrint, background);
}

void TestFormYesNo::createdOnFirstUse()
{
    m_dialog.reset();
    QVERIFY(!FormYesNo);
    {
        QWidget owner;
        owner.setGeometry(0, 0, 800, 600);
        const auto answer = ask(QString(), &owner, nullptr, clickYes);
        QVERIFY(answer.has_value());
        QCOMPARE(*answer, true);
        QVERIFY(FormYesNo);
        QCOMPARE(FormYesNo->parentWidget(), &owner);
    }
    // Freed with the window that owned it, and forgotten.
    QVERIFY(!FormYesNo);
}

QTEST_MAIN(TestFormYesNo)
#include "tst_formyn.moc"
