<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ja">
<context>
    <name>strokerelayd</name>
    <message>
        <source>入力テスト用</source>
        <translation>Test typing:</translation>
    </message>
    <message>
        <source>設定</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>隠す(常駐)</source>
        <translation>Hide</translation>
    </message>
    <message>
        <source>終了</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>strokesender を使って WinPC/CE からリモートでキー入力することができます。Port番号をあわせておいてください。ActiveSync の場合 IP アドレスは 169.254.2.1 になります。HOST名でもOK</source>
        <translation>With strokesender you can type here from another computer. Make the port numbers match. Over a direct link (USB or cable) this machine is often at a link address such as 169.254.2.1. A host name works too.</translation>
    </message>
    <message>
        <source>メニュー</source>
        <comment>menu</comment>
        <translation>Menu</translation>
    </message>
    <message>
        <source>プログラムについて</source>
        <comment>menu</comment>
        <translation>About strokerelayd</translation>
    </message>
    <message>
        <source>設定</source>
        <comment>menu</comment>
        <translation>Settings</translation>
    </message>
    <message>
        <source>プログラム終了</source>
        <comment>menu</comment>
        <translation>Exit strokerelayd</translation>
    </message>
    <message>
        <source>隠す(常駐)</source>
        <comment>menu</comment>
        <translation>Hide (keep running)</translation>
    </message>
    <message>
        <source>1～65535 の Port 番号を入力してください</source>
        <translation>Enter a port number from 1 to 65535</translation>
    </message>
    <message>
        <source>デフォルトの Port 番号は 8102 です。strokesender と Port 番号の設定をあわせておいてください。</source>
        <translation>The default port number is 8102. Set the same port number in strokesender.</translation>
    </message>
    <message>
        <source>動作保障はありません。重要なデータは予め
バックアップをおとりください。更新情報は下記
サイトからどうぞ。</source>
        <translation>There is no guarantee that it works. Back up
important data beforehand. Updates are
available from the site below.</translation>
    </message>
    <message>
        <source>Port %1 を開けません: %2</source>
        <translation>Port %1 cannot be opened: %2</translation>
    </message>
    <message>
        <source>ほかのプログラムが使用中です</source>
        <translation>in use by another program</translation>
    </message>
    <message>
        <source>1024 未満は root 権限が必要です</source>
        <translation>needs root below 1024</translation>
    </message>
    <message>
        <source>許可されていません</source>
        <translation>not permitted</translation>
    </message>
    <message>
        <source>このマシンでは使えません</source>
        <translation>not available on this machine</translation>
    </message>
    <message>
        <source>ソケットを作れません</source>
        <translation>the system has no room for another socket</translation>
    </message>
    <message>
        <source>ネットワークが停止しています</source>
        <translation>the network is down</translation>
    </message>
    <message>
        <source>システムに拒否されました</source>
        <translation>refused by the system</translation>
    </message>
    <message>
        <source>1024 未満の Port には root 権限が必要です</source>
        <translation>Ports below 1024 need root</translation>
    </message>
</context>
</TS>
