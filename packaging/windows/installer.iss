; The Windows installer (Inno Setup 6): packs the tree that `cmake --install` lays out, the
; executable with Qt and the other libraries in bin\, the read-only program files in
; share\澄禾户籍\. Compile with
;   iscc /DStage=C:\path\to\stage /DAppVersion=3.0 packaging\windows\installer.iss
; The clerk's register lives in %LOCALAPPDATA%\澄禾户籍, which neither an upgrade nor the
; uninstaller touches. This file is UTF-8 with a byte-order mark, which iscc needs for Chinese.
#ifndef Stage
  #define Stage "..\..\stage"
#endif
#ifndef AppVersion
  #define AppVersion "3.0"
#endif
#define AppName "澄禾社区户籍管理系统"
#define AppExe "bin\澄禾户籍.exe"

[Setup]
AppId={{93C96B53-9416-42D3-B325-2697233D99CC}
AppName={#AppName}
AppVersion={#AppVersion}
AppPublisher=澄禾户籍 maintainers
DefaultDirName={autopf}\澄禾户籍
DefaultGroupName={#AppName}
UninstallDisplayIcon={app}\{#AppExe}
SetupIconFile=chenghe-huji.ico
OutputBaseFilename=chenghe-huji-{#AppVersion}-setup
Compression=lzma2
SolidCompression=yes
ArchitecturesAllowed=x64compatible
ArchitecturesInstallIn64BitMode=x64compatible
PrivilegesRequiredOverridesAllowed=dialog
WizardStyle=modern

[Languages]
; Inno Setup versions before 6.3 keep this file under Languages\Unofficial\.
Name: "chs"; MessagesFile: "compiler:Languages\ChineseSimplified.isl"

[Tasks]
Name: "desktopicon"; Description: "{cm:CreateDesktopIcon}"; GroupDescription: "{cm:AdditionalIcons}"

[Files]
Source: "{#Stage}\*"; DestDir: "{app}"; Flags: recursesubdirs createallsubdirs ignoreversion

[Icons]
Name: "{group}\{#AppName}"; Filename: "{app}\{#AppExe}"
Name: "{group}\帮助文档"; Filename: "{app}\share\澄禾户籍\帮助文档.chm"
Name: "{autodesktop}\{#AppName}"; Filename: "{app}\{#AppExe}"; Tasks: desktopicon

[Run]
Filename: "{app}\{#AppExe}"; Description: "{cm:LaunchProgram,{#AppName}}"; Flags: nowait postinstall skipifsilent
