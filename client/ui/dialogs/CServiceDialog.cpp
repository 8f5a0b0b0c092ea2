#include "client/ui/dialogs/CServiceDialog.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>

#include <memory>

#include "client/ui/dialogs/DialogWidgets.h"
#include "client/ui/shell/CoreCall.h"
#include "controls/CNamedComboBox.h"
#include "controls/ReturnPress.h"

const std::array<const char*, 11> CServiceDialog::kBuiltInTypes = {
    "网上申报培训", "代理申报",     "代理记账",  "税务代办",
    "电脑维护",     "数据恢复",     "数码维修",  "打印机保养与办公耗材",
    "网络服务项目", "企业特种服务", "IT咨询服务"};

namespace {

const char* const kEmptyField = "提交数据不允许为空";

// The page's layout in pixels: a label column and a field column, one row per field.
constexpr int kLabelX = 150, kLabelW = 110, kFieldX = 270, kFieldW = 320, kFieldH = 26;
constexpr int kFirstRowY = 28, kRowPitch = 38, kRemarksH = 84;
constexpr int kSideButtonX = 600, kButtonW = 100, kButtonH = 28;
const QColor kPageColor(196, 210, 219);

const char* const kPageStyle =
    "QLabel { color: rgb(12,78,124); }"
    "QLineEdit, QPlainTextEdit { background: white; color: black;"
    "  border: 1px solid rgb(150,170,185); border-radius: 3px; padding: 1px 4px; }"
    "QLineEdit:focus, QPlainTextEdit:focus { border-color: rgb(22,122,235); }"
    "QPushButton { background: rgb(19,121,187); color: white; border: none; border-radius: 4px;"
    "  font-weight: bold; }"
    "QPushButton:hover { background: rgb(22,122,235); }"
    "QPushButton:pressed { background: rgb(15,97,150); }"
    "QPushButton:focus { border: 1px solid rgb(12,78,124); }";

QString Utf8(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

CServiceDialog::CServiceDialog(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("serviceDialog"));
  setAccessibleName(QStringLiteral("服务中心"));
  resize(846, 435);
  QFont pageFont(QStringLiteral("微软雅黑"));
  pageFont.setPixelSize(13);
  setFont(pageFont);
  setStyleSheet(QString::fromUtf8(kPageStyle));

  auto rowY = [](int row) { return kFirstRowY + kRowPitch * row; };
  auto label = [&](const char* text, int row, QWidget* buddy) {
    auto* l = new QLabel(QString::fromUtf8(text), this);
    l->setGeometry(kLabelX, rowY(row), kLabelW, kFieldH);
    l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    l->setBuddy(buddy);
    return l;
  };
  auto edit = [&](const char* objectName, const char* accessible, int row, int width) {
    auto* e = new QLineEdit(this);
    e->setObjectName(QString::fromUtf8(objectName));
    e->setGeometry(kFieldX, rowY(row), width, kFieldH);
    e->setAccessibleName(QString::fromUtf8(accessible));
    return e;
  };
  auto button = [&](const char* objectName, const char* text, QRect where) {
    auto* b = new QPushButton(QString::fromUtf8(text), this);
    b->setObjectName(QString::fromUtf8(objectName));
    b->setGeometry(where);
    b->setAccessibleName(b->text());
    b->setAutoDefault(false);
    PressOnReturn(b);
    b->setCursor(Qt::PointingHandCursor);
    return b;
  };

  m_type = new CNamedComboBox(this);
  m_type->setObjectName(QStringLiteral("serviceType"));
  m_type->setGeometry(kFieldX, rowY(0), kFieldW, kFieldH);
  m_type->setAccessibleName(QStringLiteral("服务类型"));
  label("服务类型：", 0, m_type);

  m_taxNumber = edit("taxNumber", "税号", 1, kFieldW);
  label("税号：", 1, m_taxNumber);
  m_lookup = button("lookup", "检查税号", QRect(kSideButtonX, rowY(1) - 1, kButtonW, kButtonH));
  m_lookup->setAccessibleDescription(QStringLiteral("按税号查询企业信息"));
  m_name = edit("enterpriseName", "企业名称", 2, kFieldW);
  label("企业名称：", 2, m_name);
  m_contact = edit("contactName", "联系人名称", 3, kFieldW);
  label("联系人名称：", 3, m_contact);
  m_phone = edit("contactPhone", "联系人电话", 4, kFieldW);
  label("联系人电话：", 4, m_phone);
  m_address = edit("contactAddress", "联系人地址", 5, kFieldW);
  label("联系人地址：", 5, m_address);

  m_remarks = new QPlainTextEdit(this);
  m_remarks->setObjectName(QStringLiteral("remarks"));
  m_remarks->setGeometry(kFieldX, rowY(6), kFieldW, kRemarksH);
  m_remarks->setAccessibleName(QStringLiteral("备注说明"));
  m_remarks->setTabChangesFocus(true);
  label("备注说明：", 6, m_remarks);

  const int buttonsY = rowY(6) + kRemarksH + 16;
  m_submit = button("submit", "提交预约", QRect(kFieldX, buttonsY, kButtonW, kButtonH));
  m_submit->setAccessibleDescription(QStringLiteral("提交服务预约工单"));
  m_reset =
      button("reset", "重置表单", QRect(kFieldX + kButtonW + 20, buttonsY, kButtonW, kButtonH));
  m_reset->setAccessibleDescription(QStringLiteral("清空表单，保留服务类型"));

  connect(m_lookup, &QPushButton::clicked, this, &CServiceDialog::OnLookup);
  connect(m_submit, &QPushButton::clicked, this, &CServiceDialog::OnSubmit);
  connect(m_reset, &QPushButton::clicked, this, &CServiceDialog::OnReset);

  for (const char* type : kBuiltInTypes) m_type->addItem(QString::fromUtf8(type));
  m_type->setCurrentIndex(kDefaultTypeIndex);
}

void CServiceDialog::ReplaceServiceTypes(
    const std::vector<CQueryCustomerServiceCtrl::Service>& services) {
  m_type->clear();
  for (const auto& service : services) m_type->addItem(Utf8(service.cpmc));
  m_type->setCurrentIndex(kDefaultTypeIndex);  // none when the answer has a single name
}

WorkOrderForm CServiceDialog::ReadForm() const {
  WorkOrderForm form;
  form.nsrsbh = m_taxNumber->text().toStdString();
  form.nsrmc = m_name->text().toStdString();
  form.lxrmc = m_contact->text().toStdString();
  form.lxrdh = m_phone->text().toStdString();
  form.lxrdz = m_address->text().toStdString();
  form.bz = m_remarks->toPlainText().toStdString();
  return form;
}

namespace {

// Runs one OA request on its own controller; the controller comes back with its answer.
template <class Ctrl, class Run>
CallResult<std::shared_ptr<Ctrl>> RunOaRequest(AbortFlag& abort, Run run) {
  CallResult<std::shared_ptr<Ctrl>> out;
  out.value = std::make_shared<Ctrl>();
  out.value->UseAbortFlag(abort);
  out.result = run(*out.value);
  return out;
}

}  // namespace

void CServiceDialog::OnLookup() {
  // One lookup at a time: the button waits for the answer.
  if (m_lookupCall.Pending()) return;
  const std::string taxNumber = m_taxNumber->text().toStdString();
  m_lookup->setEnabled(false);
  m_lookupCall = shell::RunCoreCall(
      this,
      [taxNumber](AbortFlag& abort) {
        return RunOaRequest<CQueryEnterpriseInfoCtrl>(
            abort, [&](CQueryEnterpriseInfoCtrl& c) { return c.RunFor(taxNumber); });
      },
      [this](CallResult<std::shared_ptr<CQueryEnterpriseInfoCtrl>> done) {
        m_lookup->setEnabled(true);
        // No answer changes nothing.
        if (!done.result.Ok()) return;
        const CQueryEnterpriseInfoCtrl& answer = *done.value;
        // An answer with an information text or with enterprise data fills the five fields,
        // empty where it has no value, before the text shows; the OA server answers a found
        // taxpayer with the data and an empty information text.
        const bool hasData = !answer.nsrsbh.empty() || !answer.nsrmc.empty() ||
                             !answer.lxrmc.empty() || !answer.lxrdh.empty() ||
                             !answer.lxrdz.empty();
        if (!answer.infoFlag && !hasData) return;
        m_taxNumber->setText(Utf8(answer.nsrsbh));
        m_name->setText(Utf8(answer.nsrmc));
        m_contact->setText(Utf8(answer.lxrmc));
        m_phone->setText(Utf8(answer.lxrdh));
        m_address->setText(Utf8(answer.lxrdz));
        if (answer.infoFlag) ShowDialogMessage(this, Utf8(answer.infoText));
      });
}

void CServiceDialog::OnSubmit() {
  if (m_submitCall.Pending()) return;
  const WorkOrderForm form = ReadForm();
  for (const std::string* field :
       {&form.nsrsbh, &form.nsrmc, &form.lxrmc, &form.lxrdh, &form.lxrdz, &form.bz}) {
    if (field->empty()) {
      ShowDialogMessage(this, QString::fromUtf8(kEmptyField));
      return;
    }
  }
  // One work order at a time: the button waits for the answer.
  m_submit->setEnabled(false);
  m_submitCall = shell::RunCoreCall(
      this,
      [form](AbortFlag& abort) {
        return RunOaRequest<CQueryWorkOrderCtrl>(
            abort, [&](CQueryWorkOrderCtrl& c) { return c.RunFor(form); });
      },
      [this](CallResult<std::shared_ptr<CQueryWorkOrderCtrl>> done) {
        m_submit->setEnabled(true);
        if (done.result.Ok() && done.value->infoFlag)
          ShowDialogMessage(this, Utf8(done.value->infoText));
      });
}

bool CServiceDialog::RequestInFlight() const {
  return m_lookupCall.Pending() || m_submitCall.Pending();
}

void CServiceDialog::OnReset() {
  for (QLineEdit* e : {m_taxNumber, m_name, m_contact, m_phone, m_address}) e->clear();
  m_remarks->clear();
}

void CServiceDialog::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), kPageColor);
}
