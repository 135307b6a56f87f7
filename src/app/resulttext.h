#pragma once

#include <QString>
#include <QTextBrowser>

// A result on a tab: read-only text in the place of a label, which scrolls
// when it is longer than that place. Plain text keeps its line breaks; rich
// text is taken as such. text() gives back what was set, as a label's does.
class ResultText : public QTextBrowser {
    Q_OBJECT

public:
    explicit ResultText(QWidget *parent = nullptr);

    QString text() const { return m_text; }
    void setText(const QString &text);
    void clear();

private:
    QString m_text;
};
