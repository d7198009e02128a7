<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de" sourcelanguage="ja">
<context>
    <name>strokerelayd</name>
    <message>
        <source>入力テスト用</source>
        <translation>Tipptest:</translation>
    </message>
    <message>
        <source>設定</source>
        <translation>Optionen</translation>
    </message>
    <message>
        <source>隠す(常駐)</source>
        <translation>Verbergen</translation>
    </message>
    <message>
        <source>終了</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>strokesender を使って WinPC/CE からリモートでキー入力することができます。Port番号をあわせておいてください。ActiveSync の場合 IP アドレスは 169.254.2.1 になります。HOST名でもOK</source>
        <translation>Mit strokesender tippen Sie von einem anderen Rechner aus hier. Die Portnummern müssen gleich sein. Über eine direkte Verbindung (USB, Kabel) hat dieser Rechner oft eine Link-Adresse wie 169.254.2.1. Ein Hostname geht auch.</translation>
    </message>
    <message>
        <source>メニュー</source>
        <comment>menu</comment>
        <translation>Menü</translation>
    </message>
    <message>
        <source>プログラムについて</source>
        <comment>menu</comment>
        <translation>Über strokerelayd</translation>
    </message>
    <message>
        <source>設定</source>
        <comment>menu</comment>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>プログラム終了</source>
        <comment>menu</comment>
        <translation>strokerelayd beenden</translation>
    </message>
    <message>
        <source>隠す(常駐)</source>
        <comment>menu</comment>
        <translation>Verbergen (läuft weiter)</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>1～65535 の Port 番号を入力してください</source>
        <translation>Portnummer von 1 bis 65535 eingeben</translation>
    </message>
    <message>
        <source>デフォルトの Port 番号は 8102 です。strokesender と Port 番号の設定をあわせておいてください。</source>
        <translation>Die Standard-Portnummer ist 8102. Stellen Sie in strokesender dieselbe Portnummer ein.</translation>
    </message>
    <message>
        <source>strokerelayd contributors</source>
        <translation>Mitwirkende an strokerelayd</translation>
    </message>
    <message>
        <source>動作保障はありません。重要なデータは予め
バックアップをおとりください。更新情報は下記
サイトからどうぞ。</source>
        <translation>Keine Gewähr für die Funktion. Sichern Sie
wichtige Daten vorher. Neuigkeiten gibt es
auf der Seite unten.</translation>
    </message>
</context>
<context>
    <name>CaptureWindow</name>
    <message>
        <source>Every key you press and release in this window is pressed and released on %1. Keys still held are let go there when the window loses the focus. Ctrl+] or closing the window ends.</source>
        <translation>Jede Taste, die Sie in diesem Fenster drücken und loslassen, wird auf %1 gedrückt und losgelassen. Noch gehaltene Tasten werden dort losgelassen, wenn das Fenster den Fokus verliert. Strg+] oder Schließen des Fensters beendet.</translation>
    </message>
    <message>
        <source>Typing on %1.</source>
        <translation>Tippt auf %1.</translation>
    </message>
    <message>
        <source>Not typing: click here to type on %1.</source>
        <translation>Tippt nicht: hier klicken, um auf %1 zu tippen.</translation>
    </message>
    <message>
        <source>Port %1 を開けません: %2</source>
        <translation>Port %1 kann nicht geöffnet werden: %2</translation>
    </message>
    <message>
        <source>ほかのプログラムが使用中です</source>
        <translation>von einem anderen Programm belegt</translation>
    </message>
    <message>
        <source>1024 未満は root 権限が必要です</source>
        <translation>unter 1024 nur mit Root-Rechten</translation>
    </message>
    <message>
        <source>許可されていません</source>
        <translation>nicht erlaubt</translation>
    </message>
    <message>
        <source>このマシンでは使えません</source>
        <translation>auf diesem Rechner nicht verfügbar</translation>
    </message>
    <message>
        <source>ソケットを作れません</source>
        <translation>das System kann keinen weiteren Socket anlegen</translation>
    </message>
    <message>
        <source>ネットワークが停止しています</source>
        <translation>das Netzwerk ist nicht verfügbar</translation>
    </message>
    <message>
        <source>システムに拒否されました</source>
        <translation>vom System abgelehnt</translation>
    </message>
    <message>
        <source>1024 未満の Port には root 権限が必要です</source>
        <translation>Ports unter 1024 brauchen Root-Rechte</translation>
    </message>
</context>
</TS>
