#include "ui/help_viewer.h"

#include <QApplication>
#include <algorithm>
#include <QCursor>
#include <QEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QScreen>
#include <QShortcut>
#include <QSignalBlocker>
#include <QSplitter>
#include <QTextBrowser>
#include <QTextDocument>
#include <QUrl>
#include <QVBoxLayout>

#include "engine/message_box.h"
#include "platform/data_files.h"
#include "platform/whole_file.h"
#include "res/text_table.h"
#include "ui/help_file.h"
#include "ui/message_dialog.h"
#include "ui/template_dialog.h"

namespace ui {
namespace {

constexpr std::size_t kMaxHelpFileSize = 4u << 20;
constexpr char kTopicScheme[] = "topic";
constexpr int kPopupMaxWidth = 340;
constexpr int kTextId = 193;  // the help file is missing or cannot be read

std::string g_helpFile;  // SetHelpFile; UI thread only

int Language() { return res::InterfaceLanguage.load(); }

std::string ReplaceFirst(std::string text, std::string_view what, const std::string& with) {
  const std::size_t at = text.find(what);
  if (at != std::string::npos) text.replace(at, what.size(), with);
  return text;
}

// Reads and parses the help file. When it cannot, tells the user which file
// was looked for and returns false.
bool LoadHelpFile(HelpFile* file, QWidget* window) {
  const std::string name = HelpFileName();
  const std::string path = platform::FindDataFile(name, platform::DataLookup::kProgramPlaces);
  std::string where;
  if (path.empty()) {
    if (name.find('/') != std::string::npos) {
      where = name;
    } else {
      for (const std::string& folder : platform::DataFileFolders(platform::DataLookup::kProgramPlaces)) {
        if (!where.empty()) where += '\n';
        where += folder + (folder.back() == '/' ? "" : "/") + name;
      }
    }
  } else {
    std::string contents;
    bool truncated = false;
    HelpParseError error;
    const int read = platform::ReadWholeFile(path, kMaxHelpFileSize, &contents, &truncated);
    if (read == platform::kFileOk && !truncated && ParseHelpFile(contents, file, &error)) return true;
    where = path;
    if (read == platform::kFileOk && !truncated && error.line > 0) where += ":" + std::to_string(error.line);
  }
  const std::string message = ReplaceFirst(res::LoadText(kTextId), "%s", where);
  ShowMessage(message.c_str(), engine::kCaptionError, engine::kMsgError, window);
  return false;
}

std::string TopicHtml(const HelpTopic& topic, const HelpFile& file, int language) {
  std::string html = "<h2>";
  const std::string& title = topic.title.In(language);
  for (char c : title) {
    if (c == '<') html += "&lt;";
    else if (c == '&') html += "&amp;";
    else html += c;
  }
  html += "</h2>\n";
  html += HelpTextToHtml(topic.text.In(language), file, language);
  return html;
}

// The text pane: topics are its documents, "topic:NAME", so that links and
// the pane's own history (Alt+Left, Alt+Right) work between them.
class CHelpBrowser : public QTextBrowser {
 public:
  explicit CHelpBrowser(QWidget* parent) : QTextBrowser(parent) {
    setOpenLinks(true);
    setOpenExternalLinks(false);  // "topic:" links stay in the pane
    document()->setDefaultStyleSheet("h2 { margin-bottom: 6px; } h3 { margin-top: 12px; margin-bottom: 2px; } "
                                     "p { margin-top: 4px; margin-bottom: 4px; } li { margin-bottom: 3px; }");
  }

  HelpFile m_file;
  int m_nLanguage = 1;

 protected:
  QVariant loadResource(int type, const QUrl& name) override {
    if (type == QTextDocument::HtmlResource && name.scheme() == kTopicScheme) {
      const HelpTopic* topic = m_file.FindTopicByName(name.path().toStdString());
      if (topic != nullptr) return QString::fromStdString(TopicHtml(*topic, m_file, m_nLanguage));
      return QString();
    }
    return QTextBrowser::loadResource(type, name);
  }
};

// The viewer: the list of topics beside the text of the one chosen.
class CHelpViewer : public QWidget {
 public:
  // Closing only hides the viewer; kHelpQuit deletes it.
  CHelpViewer() : QWidget(nullptr, Qt::Window) {
    setObjectName("helpViewer");
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    auto* splitter = new QSplitter(Qt::Horizontal, this);
    m_topics = new QListWidget(splitter);
    m_topics->setObjectName("topics");
    m_text = new CHelpBrowser(splitter);
    m_text->setObjectName("text");
    splitter->addWidget(m_topics);
    splitter->addWidget(m_text);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({200, 520});
    layout->addWidget(splitter);
    resize(760, 500);
    // Escape closes it, whichever pane has the focus.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WindowShortcut);
    connect(escape, &QShortcut::activated, this, &QWidget::close);

    connect(m_topics, &QListWidget::currentRowChanged, this, [this](int row) {
      if (row < 0 || row >= static_cast<int>(m_text->m_file.topics.size())) return;
      const QUrl url(QString(kTopicScheme) + ":" + QString::fromStdString(m_text->m_file.topics[row].name));
      if (m_text->source() != url) m_text->setSource(url);
    });
    connect(m_text, &QTextBrowser::sourceChanged, this, [this](const QUrl& url) {
      const HelpTopic* topic = m_text->m_file.FindTopicByName(url.path().toStdString());
      if (topic == nullptr) return;
      const QSignalBlocker block(m_topics);
      m_topics->setCurrentRow(static_cast<int>(topic - m_text->m_file.topics.data()));
    });
  }

  void SetHelp(HelpFile file, int language) {
    const QUrl shown = m_text->source();
    m_text->m_file = std::move(file);
    m_text->m_nLanguage = language;
    setWindowTitle(QString::fromStdString(m_text->m_file.caption.In(language)));
    const QSignalBlocker block(m_topics);
    m_topics->clear();
    for (const HelpTopic& topic : m_text->m_file.topics) {
      m_topics->addItem(QString::fromStdString(topic.title.In(language)));
    }
    const HelpTopic* topic = m_text->m_file.FindTopicByName(shown.path().toStdString());
    if (topic != nullptr) {
      m_text->reload();
      m_topics->setCurrentRow(static_cast<int>(topic - m_text->m_file.topics.data()));
    } else if (!shown.isEmpty()) {
      m_text->clear();
    }
  }

  void ShowTopic(const HelpTopic& topic) {
    m_text->setSource(QUrl(QString(kTopicScheme) + ":" + QString::fromStdString(topic.name)));
    m_text->setFocus();
  }
  bool ShowTopic(uint32_t number) {
    const HelpTopic* topic = m_text->m_file.FindTopic(number);
    if (topic == nullptr) return false;
    ShowTopic(*topic);
    return true;
  }

  // The list of topics, with the first one shown when nothing is yet.
  void ShowFinder() {
    if (CurrentTopic() == 0 && !m_text->m_file.topics.empty()) ShowTopic(m_text->m_file.topics.front());
    m_topics->setFocus();
  }

  uint32_t CurrentTopic() const {
    if (m_text->source().scheme() != kTopicScheme) return 0;
    const HelpTopic* topic = m_text->m_file.FindTopicByName(m_text->source().path().toStdString());
    return topic == nullptr ? 0 : topic->number;
  }

  // A modal dialog blocks every window but its own: while one is up, the
  // viewer becomes a window of that dialog, and a window of its own again
  // when the dialog goes.
  void Rehome(QWidget* owner) {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == this) return;
    const bool placed = testAttribute(Qt::WA_WState_ExplicitShowHide);
    if (parentWidget() != modal) {
      const QRect frame = geometry();
      if (parentWidget() != nullptr) parentWidget()->removeEventFilter(this);
      setParent(modal, Qt::Window);
      if (modal != nullptr) modal->installEventFilter(this);
      if (placed) setGeometry(frame);
    }
    if (!placed && owner != nullptr) {
      const QRect area = owner->window()->frameGeometry();
      move(area.center() - QPoint(width() / 2, height() / 2));
    }
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == parentWidget() && event->type() == QEvent::Hide) {
      QWidget* gone = parentWidget();
      gone->removeEventFilter(this);
      const bool shown = isVisible();
      const QRect frame = geometry();
      QWidget* next = QApplication::activeModalWidget();
      if (next == gone || next == this) next = nullptr;
      setParent(next, Qt::Window);
      if (next != nullptr) next->installEventFilter(this);
      setGeometry(frame);
      // The viewer goes with the program's last window.
      if (shown && (next != nullptr || OtherWindowShown())) show();
    }
    return QWidget::eventFilter(watched, event);
  }

 private:
  bool OtherWindowShown() const {
    const QWidgetList windows = QApplication::topLevelWidgets();
    return std::any_of(windows.begin(), windows.end(), [this](const QWidget* w) {
      return w != this && w->isVisible() && w->windowType() != Qt::Popup && w->windowType() != Qt::ToolTip;
    });
  }

  QListWidget* m_topics;
  CHelpBrowser* m_text;
};

// A pop-up text: gone at the next click or key.
class CHelpPopup : public QFrame {
 public:
  CHelpPopup(QWidget* parent, const QString& html) : QFrame(parent, Qt::Popup) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName("helpPopup");
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setLineWidth(1);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, colours.color(QPalette::ToolTipBase));
    colours.setColor(QPalette::WindowText, colours.color(QPalette::ToolTipText));
    setPalette(colours);
    setAutoFillBackground(true);

    // As wide as the text wants, up to a comfortable line length.
    QTextDocument measure;
    measure.setDefaultFont(font());
    measure.setHtml(html);
    measure.setDocumentMargin(0);
    const int width = std::min(kPopupMaxWidth, static_cast<int>(measure.idealWidth()) + 2);

    auto* label = new QLabel(this);
    label->setObjectName("popupText");
    label->setTextFormat(Qt::RichText);
    label->setWordWrap(true);
    label->setText(html);
    label->setFixedWidth(width);
    label->setFixedHeight(label->heightForWidth(width));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 6, 8, 6);
    layout->addWidget(label);
    adjustSize();
  }

  // Shows the pop-up with its top left corner at pos, kept on the screen;
  // when there is no room below, it goes above `above`.
  void ShowAt(QPoint pos, int above) {
    QScreen* screen = QGuiApplication::screenAt(pos);
    if (screen == nullptr) screen = QGuiApplication::primaryScreen();
    if (screen != nullptr) {
      const QRect area = screen->availableGeometry();
      if (pos.y() + height() > area.bottom()) pos.setY(above - height());
      pos.setX(std::clamp(pos.x(), area.left(), std::max(area.left(), area.right() - width())));
      pos.setY(std::clamp(pos.y(), area.top(), std::max(area.top(), area.bottom() - height())));
    }
    move(pos);
    show();
  }

 protected:
  void mousePressEvent(QMouseEvent*) override { close(); }
  void keyPressEvent(QKeyEvent*) override { close(); }
};

QPointer<CHelpViewer> g_viewer;
QPointer<CHelpPopup> g_popup;

bool ShowViewer(QWidget* window, unsigned command, uint32_t data) {
  HelpFile file;
  if (!LoadHelpFile(&file, window)) return false;
  if (g_viewer == nullptr) g_viewer = new CHelpViewer;
  g_viewer->SetHelp(std::move(file), Language());
  g_viewer->Rehome(window);
  if (command != kHelpContext || !g_viewer->ShowTopic(data)) g_viewer->ShowFinder();
  g_viewer->show();
  g_viewer->raise();
  g_viewer->activateWindow();
  return true;
}

bool ShowPopup(QWidget* window, uint32_t contextId) {
  if (contextId == 0) return true;
  HelpFile file;
  if (!LoadHelpFile(&file, window)) return false;
  const int language = Language();
  const HelpPopup* popup = file.FindPopup(contextId);
  const std::string& text = popup != nullptr ? popup->text.In(language) : file.noPopup.In(language);
  if (g_popup != nullptr) g_popup->close();
  g_popup = new CHelpPopup(window, QString::fromStdString(HelpTextToHtml(text, file, language)));

  const QPoint cursor = QCursor::pos();
  QWidget* control = window != nullptr ? DlgItem(*window, static_cast<int>(contextId & 0xFFFFu)) : nullptr;
  if (control != nullptr && control->isVisible() && !control->rect().contains(control->mapFromGlobal(cursor))) {
    const QPoint below = control->mapToGlobal(QPoint(0, control->height() + 2));
    g_popup->ShowAt(below, control->mapToGlobal(QPoint(0, 0)).y() - 2);
  } else {
    g_popup->ShowAt(cursor + QPoint(4, 18), cursor.y() - 4);
  }
  return true;
}

}  // namespace

bool WinHelp(QWidget* window, unsigned command, uint32_t data) {
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) return false;
  switch (command) {
    case kHelpFinder:
    case kHelpContext:
      return ShowViewer(window, command, data);
    case kHelpContextPopup:
      return ShowPopup(window, data);
    case kHelpQuit:
      if (g_popup != nullptr) g_popup->close();
      delete g_viewer.data();
      return true;
    default:
      return false;
  }
}

void SetHelpFile(const std::string& name) { g_helpFile = name; }

std::string HelpFileName() {
  if (!g_helpFile.empty()) return g_helpFile;
  return platform::ProgramFileName() + ".hlp";
}

QWidget* HelpViewerWindow() { return g_viewer != nullptr && g_viewer->isVisible() ? g_viewer.data() : nullptr; }

uint32_t HelpViewerTopic() { return HelpViewerWindow() != nullptr ? g_viewer->CurrentTopic() : 0; }

QWidget* HelpPopupWindow() { return g_popup != nullptr && g_popup->isVisible() ? g_popup.data() : nullptr; }

}  // namespace ui
