<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja" sourcelanguage="en">
<context>
    <name>Localizable</name>
    <message>
        <source>necessaryToRestart</source>
        <translation>アンインストール後にコンピューターの再起動が必要です。</translation>
    </message>
    <message>
        <source>chanceToSave</source>
        <translation>Quillon の削除中は Quillon MIDI デバイスが動作しなくなります。デバイスを使っているプログラムで作業内容を保存し、それらのプログラムを終了してから続行してください。</translation>
    </message>
    <message>
        <source>proceedButton</source>
        <translation>続行</translation>
    </message>
    <message>
        <source>cancelButton</source>
        <translation>キャンセル</translation>
    </message>
    <message>
        <source>sharedWarningTitle</source>
        <translation>共有のオーディオ設定が変更されることがあります。</translation>
    </message>
    <message>
        <source>sharedWarningMessage</source>
        <translation>MIDI デバイスも削除する場合、共有の ALSA 設定 (/etc/asound.conf とあなたの ~/.asoundrc) から Quillon の項目が取り除かれます。これらのファイルのほかの内容はそのまま残ります。</translation>
    </message>
    <message>
        <source>okButton</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>errorTemplate</source>
        <translation>操作を完了できませんでした (エラー %d)。</translation>
    </message>
    <message>
        <source>tryAgain</source>
        <translation>もう一度お試しください。エラーが続く場合は、エラー番号を添えて Quillon サポートにお問い合わせください。</translation>
    </message>
    <message>
        <source>restartButton</source>
        <translation>再起動</translation>
    </message>
    <message>
        <source>quitButton</source>
        <translation>終了</translation>
    </message>
    <message>
        <source>uninstallSucceeded</source>
        <translation>Quillon をアンインストールしました。</translation>
    </message>
    <message>
        <source>restartMessage</source>
        <translation>Quillon MIDI ドライバーの削除を完了するには、コンピューターを再起動してください。</translation>
    </message>
    <message>
        <source>notInstalledTitle</source>
        <translation>このコンピューターには Quillon がインストールされていません。</translation>
    </message>
    <message>
        <source>notInstalledMessage</source>
        <translation>アンインストーラーは、システムのものもあなたのものも、Quillon のインストール記録を見つけられませんでした。削除するものはありません。</translation>
    </message>
    <message>
        <source>alreadyRunningTitle</source>
        <translation>アンインストーラーはすでに実行中です。</translation>
    </message>
    <message>
        <source>alreadyRunningMessage</source>
        <translation>別の Quillon アンインストーラーのウィンドウが Quillon を削除しています。終わるまで待つか、そのウィンドウで続けてください。</translation>
    </message>
    <message>
        <source>userPartOnlyTitle</source>
        <translation>残っているのはあなた自身の Quillon 設定だけです。</translation>
    </message>
    <message>
        <source>userPartOnlyMessage</source>
        <translation>Quillon 本体はすでにこのコンピューターから削除されています。アンインストーラーはこれから、あなた自身の設定とログイン項目を削除します。管理者パスワードも再起動も必要ありません。</translation>
    </message>
    <message>
        <source>userPartRemoved</source>
        <translation>あなた自身の Quillon 設定を削除しました。再起動は必要ありません。</translation>
    </message>
    <message>
        <source>waitingForAuthorization</source>
        <translation>管理者の認証を待っています…</translation>
    </message>
    <message>
        <source>removingQuillon</source>
        <translation>Quillon を削除しています…</translation>
    </message>
    <message>
        <source>closeRefused</source>
        <translation>Quillon の削除中はアンインストーラーを閉じられません。削除が終われば閉じられます。</translation>
    </message>
    <message>
        <source>deniedTitle</source>
        <translation>管理者のポリシーで許可されていません。</translation>
    </message>
    <message>
        <source>deniedMessage</source>
        <translation>あなたのアカウントでは、このコンピューターから Quillon を削除できません。管理者に削除を依頼するか、あなたのアカウントに許可を与えるよう依頼してください。何も削除されていません。</translation>
    </message>
    <message>
        <source>noAgentTitle</source>
        <translation>パスワードの入力画面を表示できませんでした。</translation>
    </message>
    <message>
        <source>noAgentMessage</source>
        <translation>Quillon の削除には管理者パスワードが必要ですが、このセッションではそれを尋ねる認証エージェントが動いていません。デスクトップの認証エージェントを起動して (完全なデスクトップセッションなら起動されます) もう一度お試しいただくか、端末で quillon-uninstall を実行してください。何も削除されていません。</translation>
    </message>
    <message>
        <source>logFileNote</source>
        <translation>今回の実行のログは %1 に保存されています。</translation>
    </message>
    <message>
        <source>statusNotPrivileged</source>
        <translation>ヘルパーツールを管理者権限で実行できませんでした。</translation>
    </message>
    <message>
        <source>statusDenied</source>
        <translation>管理者のポリシーで許可されていません。</translation>
    </message>
    <message>
        <source>statusCanceled</source>
        <translation>管理者の認証がキャンセルされました。</translation>
    </message>
    <message>
        <source>statusFailed</source>
        <translation>アンインストールのうち管理者権限が必要な部分が失敗しました。削除の手順のいずれかが失敗したか、ヘルパーツールを実行できませんでした。詳しくは下の詳細をご覧ください。</translation>
    </message>
    <message>
        <source>statusUntrustedInstall</source>
        <translation>アンインストーラーが、管理者だけが変更できる場所にインストールされていないため、管理者権限で何かを削除することはできません。管理者 (root) としてインストールし、もう一度お試しください。</translation>
    </message>
    <message>
        <source>statusLimits</source>
        <translation>このセッションのリソース制限により削除が途中で止まってしまうため、何も削除していません。通常のデスクトップセッションからアンインストーラーを起動してください。</translation>
    </message>
    <message>
        <source>statusFolderUnsuitable</source>
        <translation>アンインストーラーのヘルパーツールを安全に置けるフォルダーが見つかりませんでした。</translation>
    </message>
    <message>
        <source>statusNoAgent</source>
        <translation>パスワードの入力画面を表示できませんでした。このセッションでは認証エージェントが動いていません。</translation>
    </message>
    <message>
        <source>statusDamaged</source>
        <translation>アンインストーラーの一部が見つからないか、壊れています。アンインストーラーをインストールし直してください。</translation>
    </message>
    <message>
        <source>rootRefusedTitle</source>
        <translation>アンインストーラーは root では動作しません。</translation>
    </message>
    <message>
        <source>rootRefusedMessage</source>
        <translation>root として起動すると、あなた自身の Quillon 設定を root のホームフォルダーで探してしまい、あなたの設定が残ります。あなた自身のユーザーで起動してください。必要な管理者パスワードはアンインストーラーが尋ねます。root として Quillon を削除するには、端末で quillon-uninstall を使ってください。</translation>
    </message>
    <message>
        <source>midiQuestion</source>
        <translation>Quillon MIDI デバイスとその ALSA 設定も削除しますか?</translation>
    </message>
    <message>
        <source>proceedQuestion</source>
        <translation>続行しますか?</translation>
    </message>
    <message>
        <source>yesNoDefaultYes</source>
        <translation>[Y/n]</translation>
    </message>
    <message>
        <source>yesNoDefaultNo</source>
        <translation>[y/N]</translation>
    </message>
    <message>
        <source>yesLetters</source>
        <translation>y</translation>
    </message>
    <message>
        <source>restartQuestion</source>
        <translation>今すぐコンピューターを再起動しますか?</translation>
    </message>
    <message>
        <source>terminalCancelled</source>
        <translation>キャンセルしました。これ以上は何も削除していません。</translation>
    </message>
    <message>
        <source>terminalNeedsYes</source>
        <translation>標準入力が端末ではないため、何も尋ねられません。--yes を付けて実行すると、警告に「はい」と答えます。</translation>
    </message>
    <message>
        <source>terminalNoAgent</source>
        <translation>パスワードの入力画面を表示できませんでした。尋ねるための端末がなく、このセッションでは認証エージェントも動いていません。端末で、または root として (sudo quillon-uninstall) quillon-uninstall を実行してください。</translation>
    </message>
    <message>
        <source>summaryTemplate</source>
        <translation>削除: %1、保持: %2、拒否: %3。</translation>
    </message>
    <message>
        <source>userHasNoPart</source>
        <translation>%1 には自身の Quillon 設定がありません。</translation>
    </message>
    <message>
        <source>previewHeading</source>
        <translation>次のものが削除されます:</translation>
    </message>
    <message>
        <source>previewNothing</source>
        <translation>インストール記録に載っているもので、削除すべきものは残っていません。</translation>
    </message>
    <message>
        <source>previewSystemPart</source>
        <translation>システムから (ファイル: %1、フォルダー: %2):</translation>
    </message>
    <message>
        <source>previewUserPart</source>
        <translation>あなたのホームフォルダーから (ファイル: %1、フォルダー: %2):</translation>
    </message>
    <message>
        <source>previewUserPartOf</source>
        <translation>%1 のホームフォルダーから (ファイル: %2、フォルダー: %3):</translation>
    </message>
    <message>
        <source>previewLoginItem</source>
        <translation>%1 (ログイン時に起動)</translation>
    </message>
    <message>
        <source>previewAlsaBlock</source>
        <translation>%1 内の Quillon のブロック (ファイルの残りはそのまま)</translation>
    </message>
    <message>
        <source>previewMore</source>
        <translation>… ほか %1 件: quillon-uninstall --dry-run ですべて表示されます。</translation>
    </message>
    <message>
        <source>previewFoldersNote</source>
        <translation>フォルダーは、ほかに何も残っていないときだけ削除されます。</translation>
    </message>
    <message>
        <source>previewNote</source>
        <translation>注意: %1</translation>
    </message>
    <message>
        <source>previewUserLeftOut</source>
        <translation>残ります: %1 自身の部分: %2</translation>
    </message>
    <message>
        <source>dryRunNote</source>
        <translation>ドライラン: 何も変更されていません。</translation>
    </message>
    <message>
        <source>reasonSkipped</source>
        <translation>管理者がこの部分をスキップしました。</translation>
    </message>
    <message>
        <source>ctrlCSkips</source>
        <translation>(Ctrl-C でこのユーザーの部分をスキップ)</translation>
    </message>
    <message>
        <source>skippingUserPart</source>
        <translation>%1 の部分をスキップしています…</translation>
    </message>
    <message>
        <source>linesLeftOut</source>
        <translation>[… このユーザーの部分の %1 行を省略しました。ログファイルにはさらに残っています …]</translation>
    </message>
    <message>
        <source>failedTitle</source>
        <translation>Quillon を削除できませんでした。</translation>
    </message>
    <message>
        <source>failedSystemPartTitle</source>
        <translation>Quillon の削除は完了しませんでした。</translation>
    </message>
    <message>
        <source>failedUserPartTitle</source>
        <translation>あなた自身の Quillon 設定を削除できませんでした。</translation>
    </message>
    <message>
        <source>diskFullTitle</source>
        <translation>Quillon を削除できませんでした: ディスクがいっぱいです。</translation>
    </message>
    <message>
        <source>diskFullCause</source>
        <translation>%1 があるディスク (%2 にマウントされたファイルシステム) に空き容量がありません。</translation>
    </message>
    <message>
        <source>diskFreeNote</source>
        <translation>そこでの空き容量: %1。</translation>
    </message>
    <message>
        <source>diskFullAdvice</source>
        <translation>ごみ箱を空にするなどしてそのディスクの空き容量を増やしてから、アンインストーラーをもう一度実行してください。</translation>
    </message>
    <message>
        <source>userPartTimeout</source>
        <translation>あなた自身の設定の削除に時間がかかりすぎたため、中止されました。</translation>
    </message>
    <message>
        <source>stateNothingRemoved</source>
        <translation>何も削除されていません。</translation>
    </message>
    <message>
        <source>stateMaybePartlyRemoved</source>
        <translation>Quillon の一部がシステムから削除された可能性があります。あなた自身の設定は削除されていません。</translation>
    </message>
    <message>
        <source>stateSystemRemoved</source>
        <translation>Quillon はシステムから削除されました。あなた自身の設定は削除されていません。</translation>
    </message>
    <message>
        <source>systemPartAdvice</source>
        <translation>失敗した手順は詳細に示されています。その原因を解決してから、アンインストーラーをもう一度実行して残りを削除してください。</translation>
    </message>
    <message>
        <source>userPartAdvice</source>
        <translation>あなた自身の設定を削除するには、アンインストーラーをもう一度実行してください。管理者パスワードは不要です。</translation>
    </message>
    <message>
        <source>alreadyOpenTitle</source>
        <translation>アンインストーラーはすでに開いています。</translation>
    </message>
    <message>
        <source>alreadyOpenMessage</source>
        <translation>Quillon アンインストーラーの別のウィンドウが開いていて、前面に表示されました。そのウィンドウで続けてください。このウィンドウは OK を押すと閉じます。</translation>
    </message>
    <message>
        <source>previewSummary</source>
        <translation>削除されるファイルとフォルダー: システム部分から %1 個、あなた自身のものから %2 個。</translation>
    </message>
    <message>
        <source>previewSummaryUserPart</source>
        <translation>削除されるあなた自身のファイルとフォルダー: %1 個。</translation>
    </message>
    <message>
        <source>previewSummaryLoginItem</source>
        <translation>その中にはログイン項目 %1 も含まれます。</translation>
    </message>
    <message>
        <source>previewSummaryAlsa</source>
        <translation>%1 からも Quillon のブロックが取り除かれます。ファイルの残りはそのままです。</translation>
    </message>
    <message>
        <source>previewUnavailable</source>
        <translation>削除されるものの一覧は利用できません。</translation>
    </message>
    <message>
        <source>passwordTryAgain</source>
        <translation>パスワードが受け付けられませんでした。もう一度入力してください。</translation>
    </message>
    <message>
        <source>terminalPasswordRefused</source>
        <translation>認証に失敗しました: パスワードが受け付けられませんでした。何も削除されていません。</translation>
    </message>
    <message>
        <source>terminalPolicyDenied</source>
        <translation>管理者のポリシーにより許可されていません: あなたのアカウントはこのコンピューターから Quillon を削除できず、パスワードを入力しても変わりません。管理者に削除を依頼するか、あなたのアカウントに許可するよう依頼してください。何も削除されていません。</translation>
    </message>
    <message>
        <source>passwordRefusedTitle</source>
        <translation>パスワードが受け付けられませんでした。</translation>
    </message>
    <message>
        <source>passwordRefusedMessage</source>
        <translation>入力された管理者パスワードが受け付けられなかったため、何も削除されていません。管理者アカウントのパスワードでもう一度お試しください。</translation>
    </message>
    <message>
        <source>terminalReadMeNote</source>
        <translation>この端末では、このページの後に続く質問がウィンドウの操作の代わりになります。「アンインストール…」は質問に「はい」と答えることに、「Quillon MIDI デバイスとその ALSA 設定も削除する」チェックボックスは MIDI の質問 (または --keep-midi-devices) に当たります。実行のログは最後に表示され、ログファイルにも保存されます。</translation>
    </message>
    <message>
        <source>terminalPagerHint</source>
        <translation>ReadMe はページャーで開きます。q を押すと閉じて質問に進みます。</translation>
    </message>
    <message>
        <source>userNotHandledTemplate</source>
        <translation>%1 自身の Quillon 設定は削除されませんでした: %2</translation>
    </message>
    <message>
        <source>reasonNotChosen</source>
        <translation>削除するには --user %1 または --all-users を付けて実行してください。</translation>
    </message>
    <message>
        <source>reasonHomeNotOwn</source>
        <translation>ホームフォルダーがそのユーザーのものではありません。</translation>
    </message>
    <message>
        <source>reasonUnreadable</source>
        <translation>ホームフォルダーを安全に調べられませんでした。</translation>
    </message>
    <message>
        <source>reasonSystemPartFailed</source>
        <translation>先にシステム部分の削除が失敗しました。</translation>
    </message>
    <message>
        <source>reasonNoGroups</source>
        <translation>ユーザーのグループを読み取れませんでした。</translation>
    </message>
    <message>
        <source>terminalDenied</source>
        <translation>管理者の認証が拒否されました。パスワードが受け入れられなかったか、管理者のポリシーで許可されていません。何も削除されていません。</translation>
    </message>
    <message>
        <source>terminalUsage</source>
        <translation>使用法: quillon-uninstall [オプション]...
Quillon MIDI ドライバースイートをこのコンピューターから端末で削除します。

  -y, --yes              警告にすべて「はい」と答える (端末がない場合は必須)
      --keep-midi-devices  MIDI デバイスとその ALSA 設定を残す
      --restart          削除に必要な場合はコンピューターを再起動する
      --no-restart       再起動せず、確認もしない
      --json             標準出力に JSON ドキュメントを 1 つ出力する
  -q, --quiet            質問とエラー以外は何も表示しない
      --user NAME        root として: NAME 自身の部分も削除する (複数指定可)
      --all-users        root として: すべてのユーザー自身の部分を削除する
  -n, --dry-run          削除されるものを一覧表示する (変更も質問もしない)
  -h, --help             このヘルプを表示する
      --version          バージョンを表示する

終了ステータス: 0 削除済みまたは何もすることがない、1 失敗、2 使い方の誤り、
3 キャンセルまたは拒否、4 認証ができなかった。
詳しくは quillon-uninstall(1) を参照してください。
</translation>
    </message>
    <message>
        <source>terminalNeedsRoot</source>
        <translation>--user と --all-users には root 権限が必要です。sudo quillon-uninstall で実行してください</translation>
    </message>
    <message>
        <source>terminalNoSuchUser</source>
        <translation>そのようなユーザーはいません: %1</translation>
    </message>
    <message>
        <source>moreInformationButton</source>
        <translation>詳しい情報を表示</translation>
    </message>
    <message>
        <source>lessInformationButton</source>
        <translation>詳しい情報を隠す</translation>
    </message>
    <message>
        <source>optionUnknown</source>
        <translation>不明なオプションです: %1</translation>
    </message>
    <message>
        <source>optionNeedsUserName</source>
        <translation>--user にはユーザー名が必要です</translation>
    </message>
    <message>
        <source>optionsRestartConflict</source>
        <translation>--restart と --no-restart は同時に指定できません</translation>
    </message>
    <message>
        <source>optionsUserConflict</source>
        <translation>--user と --all-users は同時に指定できません</translation>
    </message>
    <message>
        <source>tryHelp</source>
        <translation>詳しくは '%1 --help' を実行してください。</translation>
    </message>
    <message>
        <source>setUserIDRefused</source>
        <translation>set-user-ID で実行することはできません。あなた自身のユーザーか root として実行してください</translation>
    </message>
    <message>
        <source>logNotWritten</source>
        <translation>ログ %1 を書き込めません: %2</translation>
    </message>
    <message>
        <source>windowUsage</source>
        <translation>使用法: quillon-uninstaller [--verbose | --help | --version]
Quillon MIDI ドライバースイートをこのコンピューターからウィンドウで削除します。
グラフィカルセッションがない場合は、端末で %1 を使ってください。
</translation>
    </message>
    <message>
        <source>windowNeedsDisplay</source>
        <translation>グラフィカルセッションが必要です。端末では代わりに %1 を使ってください。</translation>
    </message>
    <message>
        <source>windowRootRefused</source>
        <translation>アンインストーラーを root で実行しないでください。あなた自身のユーザーで起動すれば、必要な管理者パスワードを尋ねます。root として Quillon を削除するには、端末で %1 を使ってください。</translation>
    </message>
</context>
<context>
    <name>Uninstaller</name>
    <message>
        <source>Quillon Uninstaller</source>
        <translation>Quillon のアンインストール</translation>
    </message>
    <message>
        <source>This program removes the Quillon MIDI driver suite from this computer.</source>
        <translation>このプログラムは、Quillon MIDI ドライバースイートをこのコンピューターから削除します。</translation>
    </message>
    <message>
        <source>Also remove the Quillon MIDI devices and their ALSA settings</source>
        <translation>Quillon MIDI デバイスとその ALSA 設定も削除する</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>終了</translation>
    </message>
    <message>
        <source>Uninstall…</source>
        <translation>アンインストール…</translation>
    </message>
    <message>
        <source>Quillon has been uninstalled.</source>
        <translation>Quillon をアンインストールしました。</translation>
    </message>
    <message>
        <source>Restart your computer to finish removing the Quillon MIDI drivers.</source>
        <translation>Quillon MIDI ドライバーの削除を完了するには、コンピューターを再起動してください。</translation>
    </message>
    <message>
        <source>Restart</source>
        <translation>再起動</translation>
    </message>
    <message>
        <source>Read me</source>
        <translation>お読みください</translation>
    </message>
    <message>
        <source>Uninstall log</source>
        <translation>アンインストールのログ</translation>
    </message>
</context>
<context>
    <name>NSAlert</name>
    <message>
        <source>Details</source>
        <translation>詳細</translation>
    </message>
    <message>
        <source>Show Details…</source>
        <translation>詳細を表示…</translation>
    </message>
    <message>
        <source>Hide Details…</source>
        <translation>詳細を隠す…</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>コピー</translation>
    </message>
</context>
</TS>
