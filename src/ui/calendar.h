#pragma once

#include "base/dates.h"

#include <QDialog>
#include <QLabel>
#include <QPointer>

#include <array>

class QFrame;
class QLineEdit;

// A label that reports the mouse the way the calendar's handlers expect:
// any button down and up, a left click, and moves with no button held.
class CalendarLabel : public QLabel {
    Q_OBJECT
public:
    explicit CalendarLabel(QWidget *parent = nullptr);

signals:
    void mouseDown(Qt::MouseButton button);
    void mouseUp(Qt::MouseButton button);
    void clicked();
    void mouseMoved();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;

private:
    bool m_leftDown = false;
};

// The selected date, which is also the month the grid shows.
extern quint16 SelYear;
extern quint16 SelMonth;
extern quint16 SelDay;

// The day labels of the grid now shown, index 1 to 31; index 0 is unused.
extern std::array<QPointer<CalendarLabel>, 32> DayLabels;

// The borderless month calendar; a day click closes it with Picked set and
// the date in SelYear, SelMonth, SelDay.
class TFormCalendar : public QDialog {
    Q_OBJECT
public:
    explicit TFormCalendar(QWidget *parent = nullptr);

    CalendarLabel *PanelDown;
    QFrame *BevelToday;
    CalendarLabel *ImageLTD;
    QFrame *Bevel1;
    CalendarLabel *ImageMonthPtr;
    CalendarLabel *ImageLTU;
    CalendarLabel *ImageRTD;
    CalendarLabel *ImageRTU;
    CalendarLabel *ImageToday;
    CalendarLabel *PanelJan;
    CalendarLabel *PanelFeb;
    CalendarLabel *PanelMar;
    CalendarLabel *PanelApr;
    CalendarLabel *PanelMay;
    CalendarLabel *PanelJun;
    CalendarLabel *PanelJul;
    CalendarLabel *PanelAug;
    CalendarLabel *PanelSep;
    CalendarLabel *PanelOct;
    CalendarLabel *PanelNov;
    CalendarLabel *PanelDec;
    CalendarLabel *PanelDays;
    QFrame *BevelSelect;
    QLabel *LabelMo;
    QLabel *LabelTu;
    QLabel *LabelWe;
    QLabel *LabelTh;
    QLabel *LabelFr;
    QLabel *LabelSa;
    QLabel *LabelSu;
    CalendarLabel *PanelYear;
    QFrame *Bevel2;
    QLabel *LabelN1;
    QLabel *LabelN2;
    QLabel *LabelN3;
    QLabel *LabelN4;
    QLabel *LabelN5;
    QLabel *LabelHor1;
    QLabel *LabelHor2;
    QLabel *LabelVert;
    QLineEdit *EditY;
    CalendarLabel *ImageY;
    CalendarLabel *Image1;

    // True when the dialog was closed by clicking a day.
    bool Picked = false;

    void FormCreate();
    void FormShow();
    void FormMouseMove();
    void PanelJanClick();
    void PanelFebClick();
    void PanelMarClick();
    void PanelAprClick();
    void PanelMayClick();
    void PanelJunClick();
    void PanelJulClick();
    void PanelAugClick();
    void PanelSepClick();
    void PanelOctClick();
    void PanelNovClick();
    void PanelDecClick();
    void ImageLTUMouseDown();
    void ImageLTUMouseUp();
    void ImageRTUMouseDown();
    void ImageRTUMouseUp();
    void PanelYearClick();
    // Returns true when the typed text is to be discarded.
    bool EditYKeyPress(const QString &text);
    void ImageYClick();
    void ImageTodayClick();
    void ImageTodayMouseMove();
    void Image1Click();
    void DayClick(CalendarLabel *day);
    void DayMouseMove(CalendarLabel *day);
    void PanelDaysMouseMove();
    void PanelDaysMouseDown();
    void PanelDownMouseMove();
    void PanelDownMouseDown();

    // Lays the day labels ("day1" to "day31") of the selected month out
    // afresh, the old ones disposed of.
    void DisposeDays();
    // Shows the selected date: month pointer, year, days, the day marked.
    void ShowDay();

    void setVisible(bool visible) override;

protected:
    void showEvent(QShowEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    CalendarLabel *monthPanel(int month) const;
    void monthClick(int month);
    void stepYear(int step);
    void dragWindow();
};

// The one calendar window of the run, created at start-up.
extern TFormCalendar *FormCalendar;
