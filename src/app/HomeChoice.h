// Where an installed KORU (run from an install prefix's bin/, as the packages
// and cmake --install put it) finds VANTO's folder when neither its own
// folder, --home, KORU_HOME nor the current folder leads there: the folder
// remembered in $XDG_CONFIG_HOME/koru/koru.conf, chosen once in a folder
// dialog. A KORU copied into a folder never comes here.
#pragma once

#include <QString>

class HomeChoice {
public:
    // True when `programFolder` is an install prefix's bin/: named bin, beside
    // the share/doc/koru-cli that every kind of install brings.
    static bool Installed(const QString& programFolder);

    // True when an installed KORU must take the remembered or a chosen folder:
    // no --home, no KORU_HOME, and neither its own folder nor the current one
    // holds VANTO.ini.
    static bool Needed(const QString& programFolder, const QString& home, const QString& koruHome,
                       const QString& currentFolder);

    // The folder this start takes instead of the usual rule: empty when the
    // usual rule stands (a copied KORU, --home, KORU_HOME, VANTO.ini at hand);
    // otherwise the remembered folder, or with `mayAsk` (the windows) the one
    // chosen now, always asked with `chooseAgain`. `cancelled` tells that no
    // folder was found (console) or chosen (windows): the start ends there.
    static QString ForStart(const QString& home, bool chooseAgain, bool mayAsk, bool& cancelled);
    // The console's one line when ForStart found no folder.
    static QByteArray NoFolderLine();

    // True when `folder` holds VANTO.ini.
    static bool HoldsVanto(const QString& folder);

    static QString ConfigFile();
    // The remembered folder; empty when none is.
    static QString Remembered();
    // Remembers `folder`; raises RuntimeError when the file cannot be written.
    static void Remember(const QString& folder);

    // Asks with the folder dialog until the folder chosen holds VANTO.ini,
    // and remembers it; empty when the user cancels, and then nothing is written.
    static QString Ask();
};
