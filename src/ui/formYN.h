#pragma once

#include <QDialog>
#include <QPixmap>
#include <QRect>
#include <QString>

#include <optional>

class QLabel;
class QPushButton;
class QTimer;

// The one yes/no confirmation dialog: a borderless panel reused for every
// question the program asks before a destructive step.
class TFormYesNo : public QDialog {
    Q_OBJECT

public:
    explicit TFormYesNo(QWidget *parent = nullptr);
    ~TFormYesNo() override;

    QTimer *TimerSteps;
    QLabel *LabelTXT;
    QLabel *ImageFootL;
    QLabel *ImageFootR;
    QPushButton *BitBtnNet;
    QPushButton *BitBtnDa;
    QLabel *ImageQ;
    QLabel *ImageR;
    QLabel *ImageB;
    QLabel *ImageY;
    QLabel *ImageXX;
    QWidget *PaintBoxR;
    QLabel *ImageGLI;
    QLabel *ImageRLI;

    // Settings, read at every showing.
    char Language = 'r';
    char PictureLetter = 'q';
    char DefaultButton = 0;
    bool QuitMode = false;
    bool FitHeight = false;

    // 1 for yes, 0 for no; cleared at every showing.
    quint8 Answer = 0;
    qint32 StepCount = 0;
    QRect RightFootRect;
    QRect LeftFootRect;
    QRect FootSourceRect{0, 0, 24, 24};

    void FormCreate();
    void FormShow();
    void FormClose();
    void FormPaint();
    void FormMouseDown();
    void BitBtnDaClick();
    void BitBtnNetClick();
    void ImageXXDblClick();
    void PaintBoxRPaint();
    void PaintBoxRDblClick();
    void TimerStepsTimer();

    // Formats the question: "|" becomes a line break (CR 13, LF 10).
    QString q1310(const QString &question) const;
    // Shows or hides the side picture chosen by PictureLetter.
    void ShowImage(bool show);
    // Puts the default 520 x 120 layout back ("restore defaults").
    void RestoreDEF();
    // Sets the footprints ("nogi", feet) back to their start.
    void ResetNogi();
    // Resizes to width x height ("W", "H") and lays the controls out again.
    void SetWH(qint32 width, qint32 height, char centre);

    void setVisible(bool visible) override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    struct Footprint {
        QRect rect;
        QPixmap picture;
    };

    void startQuitMode();
    void fitHeight();
    void stampFootprint(const QRect &rect, const QPixmap &picture);

    // The print of the step being painted; set only for that one paint.
    std::optional<Footprint> m_stamp;
};

// The strip texture: 'g' green-grey, 'r' red-grey.
extern char BackLetter;
// Order in which a double click steps the side picture.
extern const char PictureCycle[];
// The program's one dialog instance.
extern TFormYesNo *FormYesNo;

// Asks a yes/no question centred over owner (or over the screen when owner is
// not a window); "|" in the question breaks the line, an empty question asks
// whether to delete the current record. True only for the yes button.
bool AskYesNo(const QString &question, QObject *owner = nullptr);
