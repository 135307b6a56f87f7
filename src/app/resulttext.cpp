#include "app/resulttext.h"

#include <QTextDocument>

ResultText::ResultText(QWidget *parent) : QTextBrowser(parent)
{
    // Drawn like the labels around it until it has more than its place holds.
    setFrameShape(QFrame::NoFrame);
    viewport()->setAutoFillBackground(false);
    setAutoFillBackground(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setLineWrapMode(QTextEdit::WidgetWidth);
    setOpenLinks(false);
    document()->setDocumentMargin(0);
}

void ResultText::setText(const QString &text)
{
    m_text = text;
    if (Qt::mightBeRichText(text))
        setHtml(text);
    else
        setPlainText(text);
}

void ResultText::clear()
{
    m_text.clear();
    QTextBrowser::clear();
}
