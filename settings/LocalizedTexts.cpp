// The built-in text tables. Both lists keep the same keys in the same order so a
// missing or misplaced translation shows up in review and in the tests; Japanese has
// one extra key, "download_file_retry_initial".
#include "settings/Localization.h"

namespace
{

// One entry per line keeps the two lists comparable side by side.
// clang-format off
constexpr LocalizedEntry kEnglish[] = {
    {"base_font", L"Segoe UI"},
    {"bold_font", L"Tahoma"},
    {"title", L"Norvik Patcher"},
    {"initializing", L"Initializing..."},
    {"initializing_graphics", L"Waiting for graphics information..."},
    {"checking_version", L"Checking version..."},
    {"initializing_update_process", L"Initializing update process..."},
    {"updating_version_info", L"Updating version information."},
    {"update_success", L"Client updated successfully!"},
    {"starting_update", L"Starting update..."},
    {"making_filelist", L"Making file list... ({}/{})"},
    {"updating_filelist", L"Updating file list..."},
    {"could_not_obtain_filelist", L"Could not download the file list from the server. Please check your internet connection and try again."},
    {"already_up_to_date", L"The client is up-to-date."},
    {"primary_adapter_date", L"Your primary display adapter is '{}'. The driver's date is {}."},
    {"primary_adapter_ver", L"Your primary display adapter is '{}'. The driver version is {}."},
    {"download_file_initial", L"[{}/{}] '{}'"},
    {"download_file", L"[{}/{}] '{}' ({} KB/{} KB)"},
    {"download_file_retry", L"[{}/{}] '{}' ({} KB/{} KB, attempt {})"},
    {"decompressing_file", L"[{}/{}] '{}' - decompressing"},
    {"decompressing_file_retry", L"[{}/{}] '{}' - decompressing (attempt {})"},
    {"update_process_failed", L"The update failed. Please close the game and try again.\nIf the problem persists, check that your antivirus software (e.g. Microsoft Defender Antivirus) is not blocking the launcher or game files."},
    {"disk_full", L"The disk is full: '{}' could not be written. The file was left as it was.\nFree some disk space and start the launcher again."},
    {"file_too_large", L"'{}' is 4 GiB or larger, which this launcher cannot install. The file was left as it was.\nPlease contact the game's support."},
    {"launcher_has_updated", L"The launcher has updated."},
    {"launcher_has_updated_message", L"The launcher has updated. Please restart the launcher to continue the update."},
    {"first_version", L"First Version."},
    {"error_occurred", L"An error occurred. See the message box for details."},
    {"launcher_settings", L"Launcher Settings"},
    {"first_launch_title", L"Norvik - Launcher Settings"},
    {"first_launch_welcome", L"Welcome to Norvik! Please configure your settings:"},
    {"first_launch_mirror_label", L"Select Download Mirror:"},
    {"first_launch_ech_checkbox", L"Enable ECH (Encrypted Client Hello)"},
    {"first_launch_ech_description", L"ECH encrypts the host name (domain name) during the connection process, which can help to bypass certain ISP restrictions. In some networks, this may cause connection issues and may need to be disabled."},
    {"first_launch_max_connections_label", L"Max Download Connections:"},
    {"first_launch_language_label", L"Language:"},
    {"first_launch_language_warning", L"Language setting will not be saved. Please use the OPTION button to change the language permanently."},
    {"first_launch_speed_limit_label", L"Download Speed Limit:"},
    {"speed_limit_none", L"No limit"},
    {"unable_to_copy_launcher_error", L"The launcher could not copy itself to update.\nIf another copy of the launcher is already running, please close it first. Otherwise, make sure the folder is not read-only, or try running as administrator."},
    {"unable_to_run_copied_launcher_error", L"The updated launcher could not be started.\nPlease check that your antivirus software (e.g. Microsoft Defender Antivirus) is not blocking it."},
    {"settings_start_error", L"Could not open the game settings (Setup.exe).\nIf the game is still updating, please wait for it to finish. Otherwise, click \"Check Files\" to re-download any missing files and try again."},
    {"game_start_error", L"Could not start the game (Galdervin.bin).\nThis is usually caused by antivirus software (e.g. Microsoft Defender Antivirus) blocking or deleting the file.\nPlease add an exception for the game folder, click \"Check Files\" to re-download, and try again."},
    {"start_error_title", L"Norvik Error"},
    {"network_error_generic", L"A network error occurred (error code: {} - {}). Please check your internet connection and try again."},
    {"network_error_proxy", L"Could not resolve your proxy server. Please check your proxy settings or disable your proxy."},
    {"network_error_host", L"Could not resolve the download server. Please check your internet connection.\nYou can also try changing the download mirror or toggling the ECH setting using the \"Launcher Settings\" link at the top left."},
    {"network_error_connect", L"Could not connect to the download server. Please check your internet connection.\nYou can also try changing the download mirror or toggling the ECH setting using the \"Launcher Settings\" link at the top left."},
    {"network_error_client_request", L"The server rejected the request (HTTP {}). Please try again later."},
    {"network_error_server_error", L"The server encountered an error (HTTP {}). Please try again later."},
    {"network_error_memory", L"The computer ran out of memory while receiving a download. Please close other programs and try again."},
    {"version_data_invalid", L"The version data received from the server was invalid. Please try again later."},
    {"network_update_failed", L"The update failed due to a network error. Please check your internet connection and try again."},
    {"version_check_failure", L"Could not verify the game version. Please try again later."},
    {"working_directory_error", L"Could not determine the launcher's working directory. Make sure the launcher is in a valid location."},
    {"network_init_failure", L"Could not initialize the network connection. Please restart the launcher and try again."},
    {"file_locked_by_game", L"The file '{}' is locked by a running game process ({}, PID: {}).\n\nWould you like to terminate it to continue updating?"},
    {"file_locked_by_game_plural", L"The file '{}' is locked by {} running game processes (PIDs: {}).\n\nWould you like to terminate them to continue updating?"},
    {"file_locked_by_other", L"The file '{}' is locked by another process ({}, PID: {}).\nPlease close it and try again."},
    {"file_locked_by_service", L"The file '{}' is locked by a system service ({}).\nThis may be your antivirus software performing a scan. The update will retry automatically."},
};

// Button names inside texts match the captions of the Japanese button faces
// (ファイルを検証, 設定) and the link text (ランチャー設定).
constexpr LocalizedEntry kJapanese[] = {
    {"base_font", L"MS UI Gothic"},
    {"bold_font", L"MS UI Gothic"},
    {"title", L"Norvik Patcher"},
    {"initializing", L"初期化しています..."},
    {"initializing_graphics", L"グラフィック情報を取得しています..."},
    {"checking_version", L"バージョンを確認しています..."},
    {"initializing_update_process", L"アップデートの準備をしています..."},
    {"updating_version_info", L"バージョン情報を更新しています。"},
    {"update_success", L"クライアントのアップデートが完了しました！"},
    {"starting_update", L"アップデートを開始しています..."},
    {"making_filelist", L"ファイルリストを作成しています...（{}/{}）"},
    {"updating_filelist", L"ファイルリストを更新しています..."},
    {"could_not_obtain_filelist", L"サーバーからファイルリストをダウンロードできませんでした。インターネット接続を確認して、もう一度お試しください。"},
    {"already_up_to_date", L"クライアントは最新の状態です。"},
    {"primary_adapter_date", L"ご使用のプライマリディスプレイアダプターは「{}」です。ドライバーの日付は {} です。"},
    {"primary_adapter_ver", L"ご使用のプライマリディスプレイアダプターは「{}」です。ドライバーのバージョンは {} です。"},
    {"download_file_initial", L"[{}/{}] 「{}」"},
    {"download_file", L"[{}/{}] 「{}」（{} KB/{} KB）"},
    {"download_file_retry_initial", L"[{}/{}] 「{}」（再試行 {}）"},
    {"download_file_retry", L"[{}/{}] 「{}」（{} KB/{} KB、再試行 {}）"},
    {"decompressing_file", L"[{}/{}] 「{}」解凍中"},
    {"decompressing_file_retry", L"[{}/{}] 「{}」解凍中（再試行 {}）"},
    {"update_process_failed", L"アップデートに失敗しました。ゲームを終了してから、もう一度お試しください。\n問題が解決しない場合は、ウイルス対策ソフト（Microsoft Defender ウイルス対策など）がランチャーやゲームのファイルをブロックしていないかご確認ください。"},
    {"disk_full", L"ディスクの空き容量が不足しているため、「{}」を書き込めませんでした。ファイルは元のままです。\nディスクの空き容量を確保してから、ランチャーをもう一度起動してください。"},
    {"file_too_large", L"「{}」は4 GiB以上あるため、このランチャーではインストールできません。ファイルは元のままです。\nゲームのサポートにお問い合わせください。"},
    {"launcher_has_updated", L"ランチャーが更新されました。"},
    {"launcher_has_updated_message", L"ランチャーが更新されました。アップデートを続けるには、ランチャーを再起動してください。"},
    {"first_version", L"最初"},
    {"error_occurred", L"エラーが発生しました。詳細はメッセージボックスをご確認ください。"},
    {"launcher_settings", L"ランチャー設定"},
    {"first_launch_title", L"Norvik ランチャー設定"},
    {"first_launch_welcome", L"Norvik へようこそ！以下の項目を設定してください："},
    {"first_launch_mirror_label", L"ダウンロードミラーの選択："},
    {"first_launch_ech_checkbox", L"ECH（Encrypted Client Hello）を有効にする"},
    {"first_launch_ech_description", L"ECH は接続時にホスト名（ドメイン名）を暗号化する機能で、一部のプロバイダーによる接続制限を回避できる場合があります。ネットワークによっては接続に問題が発生することがあり、その場合は無効にする必要があります。"},
    {"first_launch_max_connections_label", L"最大同時ダウンロード数："},
    {"first_launch_language_label", L"言語："},
    {"first_launch_language_warning", L"ここで選択した言語は保存されません。言語を永続的に変更するには、「設定」ボタンをご利用ください。"},
    {"first_launch_speed_limit_label", L"ダウンロード速度の上限："},
    {"speed_limit_none", L"制限なし"},
    {"unable_to_copy_launcher_error", L"アップデートのためのランチャーのコピーを作成できませんでした。\n別のランチャーがすでに起動している場合は、先に終了してください。そうでない場合は、フォルダーが読み取り専用になっていないかご確認いただくか、管理者として実行してみてください。"},
    {"unable_to_run_copied_launcher_error", L"更新されたランチャーを起動できませんでした。\nウイルス対策ソフト（Microsoft Defender ウイルス対策など）によってブロックされていないかご確認ください。"},
    {"settings_start_error", L"ゲーム設定（Setup.exe）を開けませんでした。\nゲームのアップデート中の場合は、完了するまでお待ちください。そうでない場合は、「ファイルを検証」をクリックして不足しているファイルを再ダウンロードしてから、もう一度お試しください。"},
    {"game_start_error", L"ゲーム（Galdervin.bin）を起動できませんでした。\nこの問題の多くは、ウイルス対策ソフト（Microsoft Defender ウイルス対策など）がファイルをブロックまたは削除することで発生します。\nゲームフォルダーを除外設定に追加し、「ファイルを検証」をクリックして再ダウンロードしてから、もう一度お試しください。"},
    {"start_error_title", L"Norvik エラー"},
    {"network_error_generic", L"ネットワークエラーが発生しました（エラーコード：{} - {}）。インターネット接続を確認して、もう一度お試しください。"},
    {"network_error_proxy", L"プロキシサーバーの名前解決ができませんでした。プロキシ設定を確認するか、プロキシを無効にしてください。"},
    {"network_error_host", L"ダウンロードサーバーの名前解決ができませんでした。インターネット接続をご確認ください。\n左上の「ランチャー設定」リンクから、ダウンロードミラーの変更や ECH 設定の切り替えをお試しいただくこともできます。"},
    {"network_error_connect", L"ダウンロードサーバーに接続できませんでした。インターネット接続をご確認ください。\n左上の「ランチャー設定」リンクから、ダウンロードミラーの変更や ECH 設定の切り替えをお試しいただくこともできます。"},
    {"network_error_client_request", L"サーバーがリクエストを拒否しました（HTTP {}）。しばらくしてから、もう一度お試しください。"},
    {"network_error_server_error", L"サーバーでエラーが発生しました（HTTP {}）。しばらくしてから、もう一度お試しください。"},
    {"network_error_memory", L"ダウンロードの受信中にメモリが不足しました。ほかのプログラムを終了して、もう一度お試しください。"},
    {"version_data_invalid", L"サーバーから受信したバージョンデータが無効です。しばらくしてから、もう一度お試しください。"},
    {"network_update_failed", L"ネットワークエラーのため、アップデートに失敗しました。インターネット接続を確認して、もう一度お試しください。"},
    {"version_check_failure", L"ゲームのバージョンを確認できませんでした。しばらくしてから、もう一度お試しください。"},
    {"working_directory_error", L"ランチャーの作業フォルダーを特定できませんでした。ランチャーが正しい場所にあることをご確認ください。"},
    {"network_init_failure", L"ネットワーク接続を初期化できませんでした。ランチャーを再起動して、もう一度お試しください。"},
    {"file_locked_by_game", L"ファイル「{}」は、実行中のゲームプロセス（{}、PID：{}）によって使用されています。\n\nアップデートを続けるために、このプロセスを終了しますか？"},
    {"file_locked_by_game_plural", L"ファイル「{}」は、実行中の {} 個のゲームプロセス（PID：{}）によって使用されています。\n\nアップデートを続けるために、これらのプロセスを終了しますか？"},
    {"file_locked_by_other", L"ファイル「{}」は、別のプロセス（{}、PID：{}）によって使用されています。\nそのプログラムを終了してから、もう一度お試しください。"},
    {"file_locked_by_service", L"ファイル「{}」は、システムサービス（{}）によって使用されています。\nウイルス対策ソフトがスキャンを行っている可能性があります。アップデートは自動的に再試行されます。"},
};
// clang-format on

std::map<std::string, std::wstring> BuildTable(std::span<const LocalizedEntry> list)
{
    std::map<std::string, std::wstring> table;
    for (const LocalizedEntry& entry : list)
        table.emplace(entry.key, entry.text);
    return table;
}

} // namespace

const std::span<const LocalizedEntry> kEnglishTextList = kEnglish;
const std::span<const LocalizedEntry> kJapaneseTextList = kJapanese;

const std::map<std::wstring, std::map<std::string, std::wstring>> kLocalizedTexts = {
    {L"en", BuildTable(kEnglish)},
    {L"ja", BuildTable(kJapanese)},
};
