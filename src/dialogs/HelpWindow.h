#pragma once

#include <QWidget>

class QTextBrowser;

namespace tkl {

/// The program's help viewer: shows the help file at a numbered topic.
///
/// The help file is HTML; a topic is the place marked with an anchor named "topic"
/// followed by its number (<a name="topic35">). A topic the file does not have shows
/// the file from its beginning. Escape and the Close button close it.
class HelpWindow : public QWidget
{
    Q_OBJECT

public:
    explicit HelpWindow(QWidget *parent = nullptr);

    /// Shows `helpFile` scrolled to `topic`. A missing or unreadable file shows nothing
    /// and returns false; the caller may ignore that.
    bool showTopic(const QString &helpFile, int topic);

    /// The anchor name of a topic number.
    static QString topicAnchor(int topic);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    QTextBrowser *m_browser;
};

} // namespace tkl
