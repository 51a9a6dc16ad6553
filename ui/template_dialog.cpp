#include "ui/template_dialog.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QShortcut>
#include <QSlider>
#include <QTreeView>
#include <QTreeWidget>

#include "res/pictures.h"
#include "ui/bitmap_button.h"
#include "ui/help_viewer.h"

namespace ui {
namespace {

constexpr char kIdProperty[] = "controlId";
constexpr char kTemplateRectProperty[] = "templateRect";
// Free pixels kept between a grown control and its neighbours or frame.
constexpr int kFitGap = 2;
constexpr int kNarrowestStretch = 80;

Qt::Alignment TextAlignment(unsigned style) {
  Qt::Alignment horizontal = Qt::AlignLeft;
  if (style & res::kAlignCenter) horizontal = Qt::AlignHCenter;
  if (style & res::kAlignRight) horizontal = Qt::AlignRight;
  return horizontal | Qt::AlignTop;
}

QLabel* MakeLabel(const res::ControlTemplate& c, QWidget* parent) {
  auto* label = new QLabel(QString::fromUtf8(c.caption), parent);
  label->setTextFormat(Qt::PlainText);
  label->setAlignment(TextAlignment(c.style));
  label->setWordWrap(!(c.style & res::kNoWrap));
  if (c.style & res::kSunken) label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  return label;
}

QTreeView* MakeList(const res::ControlTemplate& c, QWidget* parent) {
  // Report view: a row per item, one column per field, over the model the
  // window gives it.
  auto* list = new QTreeView(parent);
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  list->setSelectionBehavior(QAbstractItemView::SelectRows);
  list->setRootIsDecorated(false);
  list->setItemsExpandable(false);
  list->setUniformRowHeights(true);
  list->setAllColumnsShowFocus(true);
  list->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list->header()->setSectionsClickable(!(c.style & res::kNoSortHeader));
  list->header()->setSectionsMovable(false);
  list->header()->setStretchLastSection(false);
  list->setSortingEnabled(false);
  if (c.style & res::kSunken) list->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  return list;
}

QTreeWidget* MakeTree(const res::ControlTemplate& c, QWidget* parent) {
  auto* tree = new QTreeWidget(parent);
  tree->setSelectionMode(QAbstractItemView::SingleSelection);
  tree->setHeaderHidden(true);
  tree->setRootIsDecorated(c.style & res::kTreeLines);
  tree->setDragEnabled(!(c.style & res::kNoDragDrop));
  if (c.style & res::kFullRowSelect) tree->setSelectionBehavior(QAbstractItemView::SelectRows);
  tree->setMouseTracking(c.style & res::kTrackSelect);
  tree->setSortingEnabled(false);
  return tree;
}

QWidget* MakeControl(const res::ControlTemplate& c, QDialog& dialog, QButtonGroup*& radioGroup) {
  using K = res::ControlKind;
  const QString caption = QString::fromUtf8(c.caption);
  // A control that starts a group ends the radio group before it.
  if (c.kind != K::kRadioButton || (c.style & res::kGroup)) radioGroup = nullptr;
  switch (c.kind) {
    case K::kBitmapButton: {
      auto* button = new CBitmapButton(caption, &dialog);
      button->setFocusPolicy((c.style & res::kTabStop) ? Qt::StrongFocus : Qt::ClickFocus);
      button->setFlat(true);
      return button;
    }
    case K::kGroupBox: {
      auto* box = new QGroupBox(caption, &dialog);
      // A frame only: it lets clicks through to what lies inside it.
      box->setAttribute(Qt::WA_TransparentForMouseEvents);
      // The frame line runs through the middle of the title, which starts a
      // little in from the left edge.
      const int half = QFontMetrics(dialog.font()).height() / 2;
      box->setStyleSheet(QStringLiteral("QGroupBox { border: 1px solid palette(mid); margin-top: %1px; }"
                                        "QGroupBox::title { subcontrol-origin: margin; left: %2px; padding: 0 2px; }")
                             .arg(half)
                             .arg(half));
      return box;
    }
    case K::kText:
      return MakeLabel(c, &dialog);
    case K::kIcon: {
      auto* label = new QLabel(&dialog);
      label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      return label;
    }
    case K::kPicture: {
      auto* label = new QLabel(&dialog);
      label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      if (c.style & res::kSunken) label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
      label->setPixmap(res::LoadBitmapResource(caption));
      return label;
    }
    case K::kCheckBox:
      return new QCheckBox(caption, &dialog);
    case K::kRadioButton: {
      auto* radio = new QRadioButton(caption, &dialog);
      if (radioGroup == nullptr) {
        radioGroup = new QButtonGroup(&dialog);
        radioGroup->setExclusive(true);
      }
      radio->setAutoExclusive(false);
      radioGroup->addButton(radio);
      return radio;
    }
    case K::kEdit: {
      auto* edit = new QLineEdit(caption, &dialog);
      if (c.style & res::kDigitsOnly) {
        edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
      }
      if (!(c.style & res::kBorder)) edit->setFrame(false);
      return edit;
    }
    case K::kDropDownList: {
      auto* combo = new QComboBox(&dialog);
      combo->setEditable(false);
      return combo;
    }
    case K::kListView:
      return MakeList(c, &dialog);
    case K::kTreeView:
      return MakeTree(c, &dialog);
    case K::kProgressBar: {
      auto* bar = new QProgressBar(&dialog);
      bar->setRange(0, 100);
      bar->setValue(0);
      bar->setTextVisible(false);
      return bar;
    }
    case K::kSlider: {
      auto* slider = new QSlider(Qt::Horizontal, &dialog);
      if (c.style & res::kTickMarks) slider->setTickPosition(QSlider::TicksBelow);
      return slider;
    }
    case K::kBrowser: {
      auto* frame = new QFrame(&dialog);
      frame->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
      return frame;
    }
  }
  return new QWidget(&dialog);
}

Qt::WindowFlags WindowFlags(unsigned style) {
  Qt::WindowFlags flags = (style & res::kAppWindow) ? Qt::Window : Qt::Dialog;
  if (style & res::kToolCaption) flags = Qt::Tool;
  flags |= Qt::CustomizeWindowHint;
  if (style & res::kCaptionBar) flags |= Qt::WindowTitleHint;
  if (style & res::kSystemMenu) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
  if (style & res::kMinimizeBox) flags |= Qt::WindowMinimizeButtonHint;
  if (style & res::kMaximizeBox) flags |= Qt::WindowMaximizeButtonHint;
  if (style & res::kContextHelp) flags |= Qt::WindowContextHelpButtonHint;
  return flags;
}

// The text a control shows, or an empty string for controls without one
// (pictures, icons, edits, lists, bitmap buttons).
QString ShownText(const QWidget& control) {
  if (const auto* label = qobject_cast<const QLabel*>(&control)) {
    return label->pixmap().isNull() ? label->text() : QString();
  }
  if (const auto* box = qobject_cast<const QGroupBox*>(&control)) return box->title();
  if (qobject_cast<const CBitmapButton*>(&control) != nullptr) return QString();
  if (const auto* button = qobject_cast<const QAbstractButton*>(&control)) return button->text();
  return QString();
}

bool IsWrapped(const QWidget& control) {
  const auto* label = qobject_cast<const QLabel*>(&control);
  return label != nullptr && label->wordWrap();
}

// The width a control needs to show its text on one line (each of its lines,
// for a label with line breaks).
int OneLineWidth(const QWidget& control) {
  const QString text = ShownText(control);
  const QFontMetrics metrics = control.fontMetrics();
  if (const auto* label = qobject_cast<const QLabel*>(&control)) {
    int widest = 0;
    for (const QString& line : text.split(QLatin1Char('\n'))) widest = std::max(widest, metrics.horizontalAdvance(line));
    return widest + 2 * (label->frameWidth() + label->margin()) + 1;
  }
  if (qobject_cast<const QGroupBox*>(&control) != nullptr) {
    // The title starts half a line in from the frame's corner, with 2 pixels
    // of padding on each side, and keeps as much free before the far corner.
    return metrics.horizontalAdvance(text) + metrics.height() + 4;
  }
  return control.sizeHint().width();
}

// The rectangle that a control's text needs when its box is this wide.
QSize NeededSize(const QWidget& control, int width) {
  if (!IsWrapped(control)) return QSize(OneLineWidth(control), control.height());
  const auto& label = static_cast<const QLabel&>(control);
  const int frame = label.frameWidth() + label.margin();
  const QRect text = control.fontMetrics().boundingRect(QRect(0, 0, std::max(1, width - 2 * frame), 1 << 20),
                                                        int(label.alignment()) | Qt::TextWordWrap,
                                                        label.text());
  return QSize(text.width() + 2 * frame, text.height() + 2 * frame);
}

bool FitsIn(const QWidget& control, const QSize& size) {
  const QSize needed = NeededSize(control, size.width());
  return needed.width() <= size.width() && (!IsWrapped(control) || needed.height() <= size.height());
}

// Where a control may grow: inside the innermost group box that holds it
// (below its title line), else inside the window; never less than where it
// already is.
QRect FrameOf(const QWidget& dialog, const QWidget& control) {
  QRect frame = dialog.rect().adjusted(kFitGap, kFitGap, -kFitGap, -kFitGap);
  long frameArea = -1;
  for (const QGroupBox* box : dialog.findChildren<QGroupBox*>(QString(), Qt::FindDirectChildrenOnly)) {
    const QRect r = box->geometry();
    if (box == &control || !r.contains(control.geometry().center())) continue;
    const long area = static_cast<long>(r.width()) * r.height();
    if (frameArea >= 0 && area >= frameArea) continue;
    frameArea = area;
    frame = r.adjusted(kFitGap + 1, box->fontMetrics().height(), -kFitGap - 1, -kFitGap - 1);
  }
  return frame.united(control.geometry());
}

// The other controls a growing control must keep clear of: every control of
// the window, hidden ones too (they may be shown later), except the control
// itself and the group boxes it lies in.
std::vector<QRect> ObstaclesOf(const QWidget& dialog, const QWidget& control) {
  std::vector<QRect> obstacles;
  const QRect own = control.geometry();
  for (const QWidget* other : dialog.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
    if (other == &control || other->isWindow() || other->geometry().isEmpty()) continue;
    if (qobject_cast<const QGroupBox*>(other) != nullptr && other->geometry().contains(own.center())) continue;
    // Something that already overlaps it is no limit to its growth.
    if (other->geometry().intersects(own)) continue;
    obstacles.push_back(other->geometry());
  }
  return obstacles;
}

// Widens `rect` to `width` (or as far as the room allows) within the free
// band of its rows, keeping its aligned edge, or its centre, where it can.
QRect Widen(const QRect& rect, int width, Qt::Alignment alignment, const QRect& frame,
            const std::vector<QRect>& obstacles) {
  int left = frame.left();
  int right = frame.right();
  for (const QRect& o : obstacles) {
    if (o.bottom() < rect.top() || o.top() > rect.bottom()) continue;
    if (o.right() < rect.left()) left = std::max(left, o.right() + 1 + kFitGap);
    if (o.left() > rect.right()) right = std::min(right, o.left() - 1 - kFitGap);
  }
  left = std::min(left, rect.left());
  right = std::max(right, rect.right());
  width = std::min(width, right - left + 1);
  if (width <= rect.width()) return rect;
  int x = rect.left();
  if (alignment & Qt::AlignHCenter) {
    x = rect.center().x() + 1 - width / 2;
  } else if (alignment & Qt::AlignRight) {
    x = rect.right() + 1 - width;
  }
  x = std::clamp(x, left, right + 1 - width);
  return QRect(x, rect.top(), width, rect.height());
}

// Makes `rect` `height` high (or as high as the room below it allows).
QRect Heighten(const QRect& rect, int height, const QRect& frame, const std::vector<QRect>& obstacles) {
  int bottom = frame.bottom();
  for (const QRect& o : obstacles) {
    if (o.right() < rect.left() || o.left() > rect.right()) continue;
    if (o.top() > rect.bottom()) bottom = std::min(bottom, o.top() - 1 - kFitGap);
  }
  bottom = std::max(bottom, rect.bottom());
  return QRect(rect.left(), rect.top(), rect.width(), std::clamp(height, rect.height(), bottom - rect.top() + 1));
}

Qt::Alignment HorizontalAlignment(const QWidget& control) {
  if (const auto* label = qobject_cast<const QLabel*>(&control)) return label->alignment() & Qt::AlignHorizontal_Mask;
  return Qt::AlignLeft;
}

void FitControl(QWidget& dialog, QWidget& control) {
  if (FitsIn(control, control.size())) return;
  const QRect frame = FrameOf(dialog, control);
  const std::vector<QRect> obstacles = ObstaclesOf(dialog, control);
  const Qt::Alignment alignment = HorizontalAlignment(control);
  const QRect start = control.geometry();
  // One line as wide as its text; a wrapped text as wide as its longest
  // line would be, then as high as it then needs.
  QRect best = Widen(start, OneLineWidth(control), alignment, frame, obstacles);
  if (IsWrapped(control) && !FitsIn(control, best.size())) {
    QRect taller = Heighten(best, NeededSize(control, best.width()).height(), frame, obstacles);
    if (!FitsIn(control, taller.size())) {
      // A narrower column may have more room below it.
      const QRect narrow = Heighten(start, NeededSize(control, start.width()).height(), frame, obstacles);
      if (FitsIn(control, narrow.size())) taller = narrow;
    }
    best = taller;
  }
  control.setGeometry(best);
  // The last resort: a narrower font.
  QFont font = control.font();
  for (int stretch = 99; stretch >= kNarrowestStretch && !FitsIn(control, control.size()); --stretch) {
    font.setStretch(stretch);
    control.setFont(font);
  }
}

}  // namespace

void FitDlgItemText(QWidget& dialog) {
  std::vector<QWidget*> controls;
  for (QWidget* control : dialog.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
    const QVariant rect = control->property(kTemplateRectProperty);
    if (!rect.isValid()) continue;
    // From the template's rectangle and the window's font again, so that
    // what an earlier text needed does not stay.
    control->setGeometry(rect.toRect());
    control->setFont(QFont());
    controls.push_back(control);
  }
  for (QWidget* control : controls) {
    if (!ShownText(*control).isEmpty()) FitControl(dialog, *control);
  }
}

bool DlgItemTextFits(const QWidget& control) {
  return ShownText(control).isEmpty() || FitsIn(control, control.size());
}

DialogUnits BuildDialog(QDialog& dialog, const res::DialogTemplate& t) {
  const DialogUnits units = DialogUnits::ForFont(dialog.font());
  dialog.setWindowFlags(WindowFlags(t.style));
  dialog.setWindowTitle(QString::fromUtf8(t.caption));
  dialog.setProperty("templateId", t.id);

  QButtonGroup* radioGroup = nullptr;
  for (const res::ControlTemplate& c : t.controls) {
    QWidget* control = MakeControl(c, dialog, radioGroup);
    control->setProperty(kIdProperty, c.id);
    if (c.id != res::kNoId) control->setObjectName(QString::number(c.id));
    QRect rect = units.ToPixels(c.rect);
    if (c.kind == res::ControlKind::kDropDownList) {
      // The template gives the height of the open list; closed, the box is one
      // line high.
      const int closed = control->sizeHint().height();
      auto* combo = static_cast<QComboBox*>(control);
      combo->setMaxVisibleItems(std::max(1, (rect.height() - closed) / std::max(1, closed)));
      rect.setHeight(closed);
    }
    control->setGeometry(rect);
    if (c.kind == res::ControlKind::kPicture) {
      // A picture control takes the size of its picture.
      const auto* label = static_cast<QLabel*>(control);
      const QSize picture = label->pixmap().deviceIndependentSize().toSize();
      if (!picture.isEmpty()) control->resize(picture + QSize(2, 2) * label->frameWidth());
    }
    if (c.kind == res::ControlKind::kGroupBox) control->lower();  // frames lie under everything
    if (c.kind == res::ControlKind::kText || c.kind == res::ControlKind::kGroupBox ||
        c.kind == res::ControlKind::kCheckBox || c.kind == res::ControlKind::kRadioButton) {
      control->setProperty(kTemplateRectProperty, rect);
    }
    if (c.style & res::kHidden) control->setHidden(true);
    if (c.style & res::kDisabled) control->setEnabled(false);
  }

  const QSize client = units.ToPixels(t.width, t.height);
  if (t.style & res::kResizable) {
    dialog.resize(client);
  } else {
    dialog.setFixedSize(client);
  }
  if (t.style & res::kCentred) {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
      dialog.move(screen->availableGeometry().center() - QRect(QPoint(), client).center());
    }
  }
  return units;
}

QWidget* DlgItem(const QWidget& dialog, int id) {
  if (id == res::kNoId) return nullptr;
  return dialog.findChild<QWidget*>(QString::number(id), Qt::FindDirectChildrenOnly);
}

int DlgItemId(const QWidget* control) {
  if (control == nullptr) return res::kNoId;
  const QVariant id = control->property(kIdProperty);
  return id.isValid() ? id.toInt() : res::kNoId;
}

void MoveDlgItem(QWidget& control, const QRect& rect) {
  control.setGeometry(rect);
  if (control.property(kTemplateRectProperty).isValid()) control.setProperty(kTemplateRectProperty, rect);
}

void SetDlgItemId(QWidget* control, int id) {
  if (control == nullptr) return;
  control->setProperty(kIdProperty, id);
  control->setObjectName(id != res::kNoId ? QString::number(id) : QString());
}

QWidget* ReplaceDlgItem(QWidget& dialog, int id, QWidget* replacement) {
  QWidget* old = DlgItem(dialog, id);
  if (old == nullptr || replacement == nullptr) {
    delete replacement;
    return nullptr;
  }
  replacement->setParent(&dialog);
  SetDlgItemId(replacement, id);
  replacement->setGeometry(old->geometry());
  replacement->setEnabled(old->isEnabled());
  replacement->setHidden(old->isHidden());
  replacement->stackUnder(old);
  QWidget::setTabOrder(old, replacement);
  delete old;
  return replacement;
}

void SetDlgItemText(QWidget& dialog, int id, const char* text) {
  QWidget* control = DlgItem(dialog, id);
  const QString value = QString::fromUtf8(text != nullptr ? text : "");
  if (auto* label = qobject_cast<QLabel*>(control)) {
    label->setText(value);
  } else if (auto* box = qobject_cast<QGroupBox*>(control)) {
    box->setTitle(value);
  } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
    button->setText(value);
  } else if (auto* edit = qobject_cast<QLineEdit*>(control)) {
    edit->setText(value);
  }
}

QString DlgItemText(const QWidget& dialog, int id) {
  const QWidget* control = DlgItem(dialog, id);
  if (const auto* label = qobject_cast<const QLabel*>(control)) return label->text();
  if (const auto* box = qobject_cast<const QGroupBox*>(control)) return box->title();
  if (const auto* button = qobject_cast<const QAbstractButton*>(control)) return button->text();
  if (const auto* edit = qobject_cast<const QLineEdit*>(control)) return edit->text();
  return QString();
}

CTemplateDialog::CTemplateDialog(int templateId, QWidget* parent)
    : QDialog(parent), m_nTemplateId(templateId), m_pTemplate(res::FindDialogTemplate(templateId)) {
  if (m_pTemplate == nullptr) return;
  m_units = BuildDialog(*this, *m_pTemplate);
  // A shortcut, not a key handler: it comes before whatever control has the
  // focus, the hosted browser too.
  auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
  help->setContext(Qt::WindowShortcut);
  connect(help, &QShortcut::activated, this, [this] { OnHelp(); });
  for (QAbstractButton* button : findChildren<QAbstractButton*>(QString(), Qt::FindDirectChildrenOnly)) {
    if (qobject_cast<CBitmapButton*>(button) == nullptr) continue;
    const int id = DlgItemId(button);
    connect(button, &QAbstractButton::clicked, this, [this, id] { OnCommand(id); });
  }
}

bool CTemplateDialog::Initialise(bool* focus) {
  m_bInInit = true;
  *focus = OnInitDialog();
  m_bInInit = false;
  // The captions are set now, in the interface language.
  FitDlgItemText(*this);
  return !m_nInitResult;
}

int CTemplateDialog::DoModal() {
  if (m_pTemplate == nullptr || !OnCreate()) return -1;
  bool focus = false;
  // Ended by its own initialisation: never shown.
  if (!Initialise(&focus)) return *m_nInitResult;
  if (focus) {
    // The first control in tab order that can take the focus gets it.
    for (const res::ControlTemplate& c : m_pTemplate->controls) {
      QWidget* control = DlgItem(*this, c.id);
      if (control != nullptr && !control->isHidden() && control->isEnabled() &&
          (control->focusPolicy() & Qt::TabFocus)) {
        control->setFocus(Qt::TabFocusReason);
        break;
      }
    }
  }
  return exec();
}

bool CTemplateDialog::Create() {
  bool focus = false;
  if (m_pTemplate == nullptr || !OnCreate() || !Initialise(&focus)) return false;
  show();
  return true;
}

CBitmapButton* CTemplateDialog::AttachBitmapButton(int id) {
  auto* button = DlgItem<CBitmapButton>(*this, id);
  if (button != nullptr) button->AutoLoad();
  return button;
}

void CTemplateDialog::reject() { OnCancel(); }

bool CTemplateDialog::OnCreate() { return true; }

void CTemplateDialog::done(int result) {
  if (m_bInInit) {
    m_nInitResult = result;
    return;
  }
  QDialog::done(result);
}

bool CTemplateDialog::OnInitDialog() { return true; }

void CTemplateDialog::OnCommand(int id) {
  if (id == 1) {
    OnOK();
  } else if (id == 2) {
    OnCancel();
  }
}

void CTemplateDialog::OnOK() { done(1); }

void CTemplateDialog::OnCancel() { done(2); }

void CTemplateDialog::OnHelp() { WinHelp(this, kHelpContext, HelpTopicOfWindow(m_nTemplateId)); }

void CTemplateDialog::closeEvent(QCloseEvent* event) {
  if (m_pTemplate != nullptr && !(m_pTemplate->style & res::kSystemMenu)) {
    // Such a window ends by its own commands only (OK, Escape).
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

void CTemplateDialog::changeEvent(QEvent* event) {
  QDialog::changeEvent(event);
  if (event->type() != QEvent::WindowStateChange || m_pTemplate == nullptr) return;
  Qt::WindowStates refused;
  // A modal dialog that went to the task bar would leave its owner blocked.
  if ((m_pTemplate->style & res::kModalFrame) && !(m_pTemplate->style & res::kMinimizeBox)) {
    refused |= Qt::WindowMinimized;
  }
  if (!(m_pTemplate->style & (res::kMaximizeBox | res::kResizable))) refused |= Qt::WindowMaximized | Qt::WindowFullScreen;
  if (windowState() & refused) setWindowState(windowState() & ~refused);
}

void CTemplateDialog::keyPressEvent(QKeyEvent* event) {
  if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
    switch (event->key()) {
      case Qt::Key_F1:
        // The shortcut takes F1 while the window is the active one; this,
        // when a key reaches a window that is not.
        if (event->modifiers() != Qt::NoModifier) break;
        OnHelp();
        return;
      case Qt::Key_Return:
      case Qt::Key_Enter:
        OnOK();
        return;
      case Qt::Key_Escape:
        OnCancel();
        return;
      default:
        break;
    }
  }
  QDialog::keyPressEvent(event);
}

}  // namespace ui
