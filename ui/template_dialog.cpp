#include "ui/template_dialog.h"

#include <QButtonGroup>
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
#include <QSlider>
#include <QTreeView>
#include <QTreeWidget>

#include "ui/bitmap_button.h"
#include "res/pictures.h"

namespace ui {
namespace {

constexpr char kIdProperty[] = "controlId";

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

}  // namespace

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

void CTemplateDialog::keyPressEvent(QKeyEvent* event) {
  if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
    switch (event->key()) {
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
