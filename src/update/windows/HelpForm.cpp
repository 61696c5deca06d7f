#include "update/windows/HelpForm.h"

#include "platform/runtime/App.h"
#include "platform/runtime/ByteText.h"
#include "platform/runtime/EndProgram.h"
#include "platform/runtime/FileAccess.h"
#include "platform/runtime/RuntimeError.h"
#include "platform/runtime/ShellExecute.h"
#include "update/windows/Forms.h"

#include <QFile>
#include <algorithm>

HelpForm::HelpForm(Forms& forms) : Form("KORU Help Links"), forms_(forms) {}

void HelpForm::InitializeControls() {
    File1 = {};
    File2 = {};
    Frame1 = {};
    Command1.assign(1, LinkButton());
    VScroll1 = {};
    Text1.clear();
}

void HelpForm::ReleaseControls() {
    // Buttons made at load live until the window unloads.
    InitializeControls();
    Changed();
}

void HelpForm::Form_Load() {
    const QString folder = App::Path() + QStringLiteral("/files/koru/help");
    File1.SetPath(folder);
    File1.SetPattern(QStringLiteral("*.gif"));
    File2.SetPath(folder);
    File2.SetPattern(QStringLiteral("*.txt"));

    // A folder without pictures (or no folder at all) shows one empty button.
    if (File1.ListCount() == 0)
        Command1[0].Enabled = false;
    for (int i = 0; i < File1.ListCount(); ++i) {
        if (i > 0) {
            LinkButton next = Command1[0];
            const LinkButton& above = Command1.back();
            next.Top = above.Top + above.Height;
            Command1.push_back(next);
        }
        // The name as listed: the file system here tells case apart, so a
        // rebuilt ".gif" would miss a picture whose ending is in capitals.
        Command1.back().Picture = File1.Path() + u'/' + QFile::decodeName(File1.List(i));
    }

    const int n = Command1UBound() + 1;
    Frame1.Height = (Command1[0].Height + buttonMargin) * n;
    // The scroll bar takes the whole range of an int, so even a long column
    // stays reachable (the 16-bit bar stopped at 32767 twips, about 30 links).
    if (Frame1.Height > Height())
        VScroll1.Max = Frame1.Height - Height();
    Changed();
}

void HelpForm::Form_Unload() {
    // The last of the two windows a user can see takes the program with it.
    if (!forms_.KORU2.Visible())
        EndProgram();
}

void HelpForm::Command1_MouseMove(int Index, int /*Button*/, int /*Shift*/, float /*X*/,
                                  float /*Y*/) {
    ShowLink(Index);
}

void HelpForm::ShowLink(int Index) {
    QByteArray target;
    QByteArray description;
    // A picture without a text file of the same rank has no link to show.
    if (Index < File2.ListCount()) {
        const QString path = File2.Path() + u'/' + QFile::decodeName(File2.List(Index));
        try {
            TextFile file(path);
            if (!file.AtEnd())
                target = file.LineInput();
            while (!file.AtEnd())
                description += file.LineInput() + "\r\n";
        } catch (const RuntimeError& e) {
            // The file went away after the window loaded: say so where the text would be.
            description = "Cannot read " + QFile::encodeName(path) + ": " + e.Description();
        }
    }
    Command1.at(static_cast<std::size_t>(Index)).ToolTipText = target;
    Text1 = description;
    Changed();
}

void HelpForm::Command1_Click(int Index) {
    const QByteArray target = Command1.at(static_cast<std::size_t>(Index)).ToolTipText;
    // An empty target (no mouse-over yet) opens nothing either way.
    if (!target.trimmed().isEmpty() && WebAddress(target).isEmpty()) {
        ShowLink(Index);
        Text1 += QByteArray(notOpenedNote) + "\r\n";
        Changed();
        return;
    }
    // Show command 2: the opened program starts minimised.
    ShellExecute(this, "Open", target, {}, {}, SW_SHOWMINIMIZED);
}

QUrl HelpForm::WebAddress(const QByteArray& target) {
    QString text = DisplayText(target).trimmed();
    if (text.startsWith(u"www.", Qt::CaseInsensitive))
        text.prepend(u"http://");
    const QUrl url(text);
    if (!url.isValid())
        return {};
    const QString scheme = url.scheme(); // QUrl keeps schemes in lower case
    if ((scheme == u"http" || scheme == u"https") && !url.host().isEmpty())
        return url;
    if (scheme == u"mailto" && !url.path().isEmpty())
        return WithoutAttachments(url);
    return {};
}

QUrl HelpForm::WithoutAttachments(QUrl url) {
    // Some mail programs attach the local file such a field names.
    QStringList fields = url.query(QUrl::FullyEncoded).split(u'&');
    fields.removeIf([](const QString& field) {
        const QString name =
            QUrl::fromPercentEncoding(field.section(u'=', 0, 0).toLatin1()).trimmed().toLower();
        return name == u"attach" || name == u"attachment";
    });
    fields.removeAll(QString());
    url.setQuery(fields.isEmpty() ? QString() : fields.join(u'&'), QUrl::StrictMode);
    return url;
}

void HelpForm::VScroll1_Change() {
    Frame1.Top = -VScroll1.Value;
    Changed();
}

void HelpForm::VScroll1_Scroll() {
    VScroll1_Change();
}

void HelpForm::SetVScroll1Value(int value) {
    value = std::clamp(value, 0, VScroll1.Max);
    if (value == VScroll1.Value)
        return;
    VScroll1.Value = value;
    VScroll1_Change();
}

void HelpForm::Changed() {
    if (refreshView)
        refreshView();
}
