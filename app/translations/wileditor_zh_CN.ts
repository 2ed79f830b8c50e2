<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>EditJournal</name>
    <message>
        <location filename="../../library/editjournal.cpp" line="257"/>
        <source>The index file cannot be opened.</source>
        <translation>无法打开索引文件。</translation>
    </message>
    <message>
        <location filename="../../library/editjournal.cpp" line="268"/>
        <source>The edit journal cannot be read.</source>
        <translation>无法读取编辑日志。</translation>
    </message>
    <message>
        <location filename="../../library/editjournal.cpp" line="335"/>
        <source>%1 is left from an edit that was cut short; open the library again to undo that edit first.</source>
        <translation>%1 是一次中断的编辑留下的；请先重新打开数据文件，撤销那次编辑。</translation>
    </message>
    <message>
        <location filename="../../library/editjournal.cpp" line="367"/>
        <location filename="../../library/editjournal.cpp" line="414"/>
        <source>%1 cannot be read.</source>
        <translation>无法读取 %1。</translation>
    </message>
    <message>
        <location filename="../../library/editjournal.cpp" line="504"/>
        <source>%1, not an edit journal; the library cannot be changed while it is there.</source>
        <translation>%1，不是编辑日志；它存在时无法修改数据文件。</translation>
    </message>
    <message>
        <location filename="../../library/editjournal.cpp" line="528"/>
        <source>%1 holds an interrupted edit that cannot be undone: %2</source>
        <translation>%1 记录了一次中断的编辑，但无法撤销：%2</translation>
    </message>
    <message>
        <location filename="../../library/editjournal.cpp" line="547"/>
        <source>%1 does not belong to the library and index now in place, and it cannot be moved aside: %2</source>
        <translation>%1 不属于现在的数据文件和索引文件，而且无法移到一旁：%2</translation>
    </message>
    <message>
        <location filename="../../library/editjournal.cpp" line="556"/>
        <source>%1 was left by an edit that was cut short, made by an earlier version of this program: it does not say which files it belongs to (%2 may have been replaced since).</source>
        <translation>%1 是本程序的早期版本一次中断的编辑留下的：它没有记录属于哪些文件（%2 之后可能已被替换）。</translation>
    </message>
    <message>
        <location filename="../../library/editjournal.cpp" line="561"/>
        <source>%1 was left by an edit that was cut short, but %2 has been replaced since (a backup or another library copied over it).</source>
        <translation>%1 是一次中断的编辑留下的，但 %2 之后已被替换（被备份或另一个数据文件覆盖）。</translation>
    </message>
    <message>
        <location filename="../../library/editjournal.cpp" line="566"/>
        <source> The journal was not played back and was moved aside to %1; the library was not changed.</source>
        <translation>编辑日志没有回放，已移到 %1；数据文件没有改动。</translation>
    </message>
    <message>
        <location filename="../../library/editjournal.cpp" line="574"/>
        <source>%1 holds an interrupted edit that could not be undone: %2</source>
        <translation>%1 记录了一次中断的编辑，撤销失败：%2</translation>
    </message>
</context>
<context>
    <name>EditLock</name>
    <message>
        <location filename="../../library/editlock.cpp" line="41"/>
        <source>%1 is a symbolic link, not a lock file: remove it and try again.</source>
        <translation>%1 是符号链接，不是锁文件：请删除它后再试。</translation>
    </message>
    <message>
        <location filename="../../library/editlock.cpp" line="45"/>
        <source>%1 is %2, not a lock file: remove it and try again.</source>
        <translation>%1 是%2，不是锁文件：请删除它后再试。</translation>
    </message>
    <message>
        <location filename="../../library/editlock.cpp" line="48"/>
        <source>a directory</source>
        <translation>文件夹</translation>
    </message>
    <message>
        <location filename="../../library/editlock.cpp" line="49"/>
        <source>not a regular file</source>
        <translation>特殊文件</translation>
    </message>
    <message>
        <location filename="../../library/editlock.cpp" line="59"/>
        <source>The folder %1 does not exist.</source>
        <translation>文件夹 %1 不存在。</translation>
    </message>
    <message>
        <location filename="../../library/editlock.cpp" line="61"/>
        <source>%1: the lock file %2 cannot be made in the folder %3 (%4); nothing was changed.</source>
        <translation>%1：无法在文件夹 %3 中建立锁文件 %2（%4）；没有任何改动。</translation>
    </message>
    <message>
        <location filename="../../library/editlock.cpp" line="65"/>
        <source>the system gives no reason</source>
        <translation>系统没有给出原因</translation>
    </message>
    <message>
        <location filename="../../library/editlock.cpp" line="117"/>
        <source>%1 is being changed by another program (%2, process %3); try again when it has finished.</source>
        <translation>%1 正在被另一个程序修改（%2，进程 %3）；请等它完成后再试。</translation>
    </message>
    <message>
        <location filename="../../library/editlock.cpp" line="121"/>
        <source>unnamed</source>
        <translation>未命名</translation>
    </message>
</context>
<context>
    <name>FolderDialog</name>
    <message>
        <location filename="../../editing/folderdialog.cpp" line="16"/>
        <source>新建文件夹</source>
        <translation>新建文件夹</translation>
    </message>
    <message>
        <location filename="../../editing/folderdialog.cpp" line="17"/>
        <source>文件夹“%1”不存在。要建立它吗？</source>
        <translation>文件夹“%1”不存在。要建立它吗？</translation>
    </message>
    <message>
        <location filename="../../editing/folderdialog.cpp" line="20"/>
        <source>错误！</source>
        <translation>错误！</translation>
    </message>
    <message>
        <location filename="../../editing/folderdialog.cpp" line="37"/>
        <source>无法建立文件夹“%1”。</source>
        <translation>无法建立文件夹“%1”。</translation>
    </message>
</context>
<context>
    <name>LibraryEdit</name>
    <message>
        <location filename="../../library/libraryedit.cpp" line="47"/>
        <source>%1 was changed by another program since it was read. It has been read again and nothing was changed: check the image numbers and try again.</source>
        <translation>%1 在读取之后被另一个程序修改过。已重新读取，没有做任何改动：请核对图片编号后再试。</translation>
    </message>
</context>
<context>
    <name>PicturePicker</name>
    <message>
        <location filename="../../editing/picturepicker.cpp" line="19"/>
        <source>图片 (%1)</source>
        <translation>图片 (%1)</translation>
    </message>
    <message>
        <location filename="../../editing/picturepicker.cpp" line="19"/>
        <source>所有文件 (*)</source>
        <translation>所有文件 (*)</translation>
    </message>
    <message>
        <location filename="../../editing/picturepicker.cpp" line="61"/>
        <source>空图片（0 字节）</source>
        <translation>空图片（0 字节）</translation>
    </message>
    <message>
        <location filename="../../editing/picturepicker.cpp" line="64"/>
        <source>无法读取此图片</source>
        <translation>无法读取此图片</translation>
    </message>
</context>
<context>
    <name>TFormMain</name>
    <message>
        <location filename="../../viewer/mail.cpp" line="122"/>
        <source>内存不足</source>
        <translation>内存不足</translation>
    </message>
    <message>
        <location filename="../../viewer/mail.cpp" line="126"/>
        <source>意外的错误</source>
        <translation>意外的错误</translation>
    </message>
    <message>
        <location filename="../../viewer/mail.cpp" line="235"/>
        <source>用“...”按钮打开数据文件</source>
        <translation>用“...”按钮打开数据文件</translation>
    </message>
    <message>
        <location filename="../../viewer/mail.cpp" line="272"/>
        <source>图片信息</source>
        <translation>图片信息</translation>
    </message>
    <message>
        <location filename="../../viewer/mail.cpp" line="334"/>
        <source>显示</source>
        <translation>显示</translation>
    </message>
    <message>
        <location filename="../../viewer/mail.cpp" line="350"/>
        <source>适应窗口</source>
        <translation>适应窗口</translation>
    </message>
    <message>
        <location filename="../../viewer/mail.cpp" line="358"/>
        <source>显示透明色</source>
        <translation>显示透明色</translation>
    </message>
    <message>
        <location filename="../../viewer/mail.cpp" line="359"/>
        <source>跳过极小的图片</source>
        <translation>跳过极小的图片</translation>
    </message>
    <message>
        <location filename="../../viewer/mail.cpp" line="360"/>
        <source>显示鼠标处的像素</source>
        <translation>显示鼠标处的像素</translation>
    </message>
    <message>
        <location filename="../../viewer/mail.cpp" line="361"/>
        <source>显示坐标原点</source>
        <translation>显示坐标原点</translation>
    </message>
    <message>
        <location filename="../../viewer/mail.cpp" line="679"/>
        <source>打开数据文件</source>
        <translation>打开数据文件</translation>
    </message>
    <message>
        <location filename="../../viewer/mail.cpp" line="680"/>
        <source>数据文件 (*.wil)</source>
        <translation>数据文件 (*.wil)</translation>
    </message>
    <message>
        <location filename="../../viewer/mail.cpp" line="680"/>
        <source>所有文件 (*)</source>
        <translation>所有文件 (*)</translation>
    </message>
    <message>
        <location filename="../../viewer/mail.cpp" line="830"/>
        <source>保存图片</source>
        <translation>保存图片</translation>
    </message>
    <message>
        <location filename="../../viewer/mail.cpp" line="846"/>
        <source>这是当前打开的数据文件本身</source>
        <translation>这是当前打开的数据文件本身</translation>
    </message>
    <message>
        <location filename="../../viewer/mail.cpp" line="855"/>
        <source>图片 %1 无法解码</source>
        <translation>图片 %1 无法解码</translation>
    </message>
    <message>
        <location filename="../../viewer/mail.cpp" line="872"/>
        <source>载入图片</source>
        <translation>载入图片</translation>
    </message>
</context>
<context>
    <name>TFormadd</name>
    <message>
        <location filename="../../editing/addpicform.cpp" line="34"/>
        <source>批量导入图片</source>
        <translation>批量导入图片</translation>
    </message>
    <message>
        <location filename="../../editing/addpicform.cpp" line="37"/>
        <source>导入内容</source>
        <translation>导入内容</translation>
    </message>
    <message>
        <location filename="../../editing/addpicform.cpp" line="38"/>
        <source>图片和坐标</source>
        <translation>图片和坐标</translation>
    </message>
    <message>
        <location filename="../../editing/addpicform.cpp" line="39"/>
        <source>仅图片</source>
        <translation>仅图片</translation>
    </message>
    <message>
        <location filename="../../editing/addpicform.cpp" line="40"/>
        <source>仅坐标</source>
        <translation>仅坐标</translation>
    </message>
    <message>
        <location filename="../../editing/addpicform.cpp" line="49"/>
        <source>用“...”按钮选择文件夹</source>
        <translation>用“...”按钮选择文件夹</translation>
    </message>
    <message>
        <location filename="../../editing/addpicform.cpp" line="57"/>
        <source>编号范围</source>
        <translation>编号范围</translation>
    </message>
    <message>
        <location filename="../../editing/addpicform.cpp" line="61"/>
        <source>起始：</source>
        <translation>起始：</translation>
    </message>
    <message>
        <location filename="../../editing/addpicform.cpp" line="63"/>
        <source>结束：</source>
        <translation>结束：</translation>
    </message>
    <message>
        <location filename="../../editing/addpicform.cpp" line="67"/>
        <source>导入方式</source>
        <translation>导入方式</translation>
    </message>
    <message>
        <location filename="../../editing/addpicform.cpp" line="68"/>
        <source>追加到末尾</source>
        <translation>追加到末尾</translation>
    </message>
    <message>
        <location filename="../../editing/addpicform.cpp" line="69"/>
        <source>插入到起始编号前</source>
        <translation>插入到起始编号前</translation>
    </message>
    <message>
        <location filename="../../editing/addpicform.cpp" line="70"/>
        <source>替换编号范围</source>
        <translation>替换编号范围</translation>
    </message>
    <message>
        <location filename="../../editing/addpicform.cpp" line="77"/>
        <source>坐标</source>
        <translation>坐标</translation>
    </message>
    <message>
        <location filename="../../editing/addpicform.cpp" line="78"/>
        <source>使用坐标文件</source>
        <translation>使用坐标文件</translation>
    </message>
    <message>
        <location filename="../../editing/addpicform.cpp" line="79"/>
        <source>统一坐标 (x,y)：</source>
        <translation>统一坐标 (x,y)：</translation>
    </message>
    <message>
        <location filename="../../editing/addpicform.cpp" line="87"/>
        <source>开始导入</source>
        <translation>开始导入</translation>
    </message>
    <message>
        <location filename="../../editing/addpicform.cpp" line="88"/>
        <source>关闭</source>
        <translation>关闭</translation>
    </message>
    <message>
        <location filename="../../editing/addpicform.cpp" line="123"/>
        <source>选择图片所在的文件夹</source>
        <translation>选择图片所在的文件夹</translation>
    </message>
</context>
<context>
    <name>TFormaddone</name>
    <message>
        <location filename="../../editing/addoneform.cpp" line="34"/>
        <source>添加图片</source>
        <translation>添加图片</translation>
    </message>
    <message>
        <location filename="../../editing/addoneform.cpp" line="37"/>
        <source>图片文件：</source>
        <translation>图片文件：</translation>
    </message>
    <message>
        <location filename="../../editing/addoneform.cpp" line="39"/>
        <source>用“...”按钮选择图片文件</source>
        <translation>用“...”按钮选择图片文件</translation>
    </message>
    <message>
        <location filename="../../editing/addoneform.cpp" line="44"/>
        <source>位置</source>
        <translation>位置</translation>
    </message>
    <message>
        <location filename="../../editing/addoneform.cpp" line="45"/>
        <source>加在最后</source>
        <translation>加在最后</translation>
    </message>
    <message>
        <location filename="../../editing/addoneform.cpp" line="47"/>
        <source>插入到当前图片之前</source>
        <translation>插入到当前图片之前</translation>
    </message>
    <message>
        <location filename="../../editing/addoneform.cpp" line="52"/>
        <source>坐标</source>
        <translation>坐标</translation>
    </message>
    <message>
        <location filename="../../editing/addoneform.cpp" line="61"/>
        <source>确定</source>
        <translation>确定</translation>
    </message>
    <message>
        <location filename="../../editing/addoneform.cpp" line="63"/>
        <source>关闭</source>
        <translation>关闭</translation>
    </message>
    <message>
        <location filename="../../editing/addoneform.cpp" line="87"/>
        <source>选择图片</source>
        <translation>选择图片</translation>
    </message>
</context>
<context>
    <name>TFormdel</name>
    <message>
        <location filename="../../editing/delform.cpp" line="20"/>
        <source>删除图片</source>
        <translation>删除图片</translation>
    </message>
    <message>
        <location filename="../../editing/delform.cpp" line="27"/>
        <source>删除图片（后面的图片前移）</source>
        <translation>删除图片（后面的图片前移）</translation>
    </message>
    <message>
        <location filename="../../editing/delform.cpp" line="30"/>
        <source>清空图片（保留编号和坐标）</source>
        <translation>清空图片（保留编号和坐标）</translation>
    </message>
    <message>
        <location filename="../../editing/delform.cpp" line="36"/>
        <source>开始</source>
        <translation>开始</translation>
    </message>
    <message>
        <location filename="../../editing/delform.cpp" line="39"/>
        <source>关闭</source>
        <translation>关闭</translation>
    </message>
    <message>
        <location filename="../../editing/delform.cpp" line="43"/>
        <source>起始编号：</source>
        <translation>起始编号：</translation>
    </message>
    <message>
        <location filename="../../editing/delform.cpp" line="44"/>
        <source>结束编号：</source>
        <translation>结束编号：</translation>
    </message>
</context>
<context>
    <name>TFormnew</name>
    <message>
        <location filename="../../editing/newform.cpp" line="31"/>
        <location filename="../../editing/newform.cpp" line="105"/>
        <source>新建数据文件</source>
        <translation>新建数据文件</translation>
    </message>
    <message>
        <location filename="../../editing/newform.cpp" line="35"/>
        <source>用“...”按钮选择文件夹</source>
        <translation>用“...”按钮选择文件夹</translation>
    </message>
    <message>
        <location filename="../../editing/newform.cpp" line="39"/>
        <source>用“...”按钮选择新数据文件的名字</source>
        <translation>用“...”按钮选择新数据文件的名字</translation>
    </message>
    <message>
        <location filename="../../editing/newform.cpp" line="43"/>
        <source>坐标</source>
        <translation>坐标</translation>
    </message>
    <message>
        <location filename="../../editing/newform.cpp" line="44"/>
        <source>使用坐标文件</source>
        <translation>使用坐标文件</translation>
    </message>
    <message>
        <location filename="../../editing/newform.cpp" line="46"/>
        <source>统一坐标：</source>
        <translation>统一坐标：</translation>
    </message>
    <message>
        <location filename="../../editing/newform.cpp" line="55"/>
        <source>调色板</source>
        <translation>调色板</translation>
    </message>
    <message>
        <location filename="../../editing/newform.cpp" line="56"/>
        <source>系统调色板</source>
        <translation>系统调色板</translation>
    </message>
    <message>
        <location filename="../../editing/newform.cpp" line="58"/>
        <source>第一张图片的调色板</source>
        <translation>第一张图片的调色板</translation>
    </message>
    <message>
        <location filename="../../editing/newform.cpp" line="65"/>
        <source>开始</source>
        <translation>开始</translation>
    </message>
    <message>
        <location filename="../../editing/newform.cpp" line="67"/>
        <source>关闭</source>
        <translation>关闭</translation>
    </message>
    <message>
        <location filename="../../editing/newform.cpp" line="76"/>
        <source>图片所在文件夹：</source>
        <translation>图片所在文件夹：</translation>
    </message>
    <message>
        <location filename="../../editing/newform.cpp" line="77"/>
        <source>新建数据文件：</source>
        <translation>新建数据文件：</translation>
    </message>
    <message>
        <location filename="../../editing/newform.cpp" line="97"/>
        <source>图片所在文件夹</source>
        <translation>图片所在文件夹</translation>
    </message>
</context>
<context>
    <name>TFormout</name>
    <message>
        <location filename="../../editing/outpicform.cpp" line="24"/>
        <source>批量导出图片</source>
        <translation>批量导出图片</translation>
    </message>
    <message>
        <location filename="../../editing/outpicform.cpp" line="29"/>
        <source>用“...”按钮选择文件夹</source>
        <translation>用“...”按钮选择文件夹</translation>
    </message>
    <message>
        <location filename="../../editing/outpicform.cpp" line="37"/>
        <source>导出</source>
        <translation>导出</translation>
    </message>
    <message>
        <location filename="../../editing/outpicform.cpp" line="39"/>
        <source>关闭</source>
        <translation>关闭</translation>
    </message>
    <message>
        <location filename="../../editing/outpicform.cpp" line="48"/>
        <source>导出到：</source>
        <translation>导出到：</translation>
    </message>
    <message>
        <location filename="../../editing/outpicform.cpp" line="51"/>
        <source>起始编号：</source>
        <translation>起始编号：</translation>
    </message>
    <message>
        <location filename="../../editing/outpicform.cpp" line="53"/>
        <source>结束编号：</source>
        <translation>结束编号：</translation>
    </message>
    <message>
        <location filename="../../editing/outpicform.cpp" line="72"/>
        <source>选择导出的文件夹</source>
        <translation>选择导出的文件夹</translation>
    </message>
</context>
<context>
    <name>TWIL</name>
    <message>
        <location filename="../../library/mywil.cpp" line="276"/>
        <source>%1 %2: it cannot be opened as an image library.</source>
        <translation>%1 %2：无法作为图片数据文件打开。</translation>
    </message>
    <message>
        <location filename="../../library/mywil.cpp" line="295"/>
        <source>%1 is not an image library: it is too short to hold the header and the palette.</source>
        <translation>%1 不是图片数据文件：它太短，容不下文件头和调色板。</translation>
    </message>
    <message>
        <location filename="../../library/mywil.cpp" line="316"/>
        <source>%1 The library is open for reading only; &quot;wiltool check %2&quot; lists every problem.</source>
        <translation>%1 数据文件以只读方式打开；“wiltool check %2”可列出全部问题。</translation>
    </message>
    <message>
        <location filename="../../library/mywil.cpp" line="372"/>
        <source>An edit of %1 was interrupted before it was complete. It has been undone: the library is as it was before that edit.</source>
        <translation>%1 的一次编辑在完成前中断了。它已被撤销：数据文件恢复到那次编辑之前的样子。</translation>
    </message>
    <message>
        <location filename="../../library/mywil.cpp" line="409"/>
        <source>The index file %1 is missing.</source>
        <translation>缺少索引文件 %1。</translation>
    </message>
    <message>
        <location filename="../../library/mywil.cpp" line="410"/>
        <source>The index file %1 %2.</source>
        <translation>索引文件 %1 %2。</translation>
    </message>
    <message>
        <location filename="../../library/mywil.cpp" line="414"/>
        <source>The index file cannot be read: %1</source>
        <translation>无法读取索引文件：%1</translation>
    </message>
    <message>
        <location filename="../../library/mywil.cpp" line="421"/>
        <source>The index file %1 is shorter than its header (%2 bytes).</source>
        <translation>索引文件 %1 比它的文件头（%2 字节）还短。</translation>
    </message>
    <message>
        <location filename="../../library/mywil.cpp" line="527"/>
        <source>%1: the image count of the %2 is negative (%3): the pair is inconsistent and cannot be changed.</source>
        <translation>%1：%2的图片数为负数（%3）：数据文件与索引文件不一致，无法修改。</translation>
    </message>
    <message>
        <location filename="../../library/mywil.cpp" line="530"/>
        <source>library</source>
        <translation>数据文件</translation>
    </message>
    <message>
        <location filename="../../library/mywil.cpp" line="531"/>
        <source>index</source>
        <translation>索引文件</translation>
    </message>
    <message>
        <location filename="../../library/mywil.cpp" line="534"/>
        <source>%1: the entry of image %2 (%3) lies beyond the end of the library file: the pair is inconsistent and cannot be changed.</source>
        <translation>%1：图片 %2 的索引项（%3）超出了数据文件的末尾：数据文件与索引文件不一致，无法修改。</translation>
    </message>
    <message>
        <location filename="../../library/mywil.cpp" line="541"/>
        <source>%1: the library counts %2 images and its index %3: the pair is inconsistent and cannot be changed.</source>
        <translation>%1：数据文件记有 %2 张图片，索引文件记有 %3 张：二者不一致，无法修改。</translation>
    </message>
    <message>
        <location filename="../../library/mywil.cpp" line="549"/>
        <source>The index file %1 holds %2 of the library&apos;s %3 images: the library cannot be changed.</source>
        <translation>索引文件 %1 只有数据文件 %3 张图片中的 %2 张：无法修改数据文件。</translation>
    </message>
    <message>
        <location filename="../../library/mywil.cpp" line="556"/>
        <source>%1: %2 images cannot fit in a library file of %3 bytes: the pair is inconsistent and cannot be changed.</source>
        <translation>%1：%3 字节的数据文件放不下 %2 张图片：数据文件与索引文件不一致，无法修改。</translation>
    </message>
    <message>
        <location filename="../../library/mywil.cpp" line="563"/>
        <source>%1: the library counts no image but holds %2 bytes behind its header and palette: the pair is inconsistent and cannot be changed.</source>
        <translation>%1：数据文件记有 0 张图片，文件头和调色板之后却还有 %2 字节：数据文件与索引文件不一致，无法修改。</translation>
    </message>
    <message>
        <location filename="../../library/mywil.cpp" line="576"/>
        <source>%1: the entry of image %2 (%3) points into the header and palette: the pair is inconsistent and cannot be changed.</source>
        <translation>%1：图片 %2 的索引项（%3）指向文件头和调色板之内：数据文件与索引文件不一致，无法修改。</translation>
    </message>
    <message>
        <location filename="../../library/mywil.cpp" line="586"/>
        <source>%1: the first record in the file (image %2&apos;s) is at %3, not where the header and palette end (%4): the pair is inconsistent and cannot be changed.</source>
        <translation>%1：文件中的第一条记录（图片 %2 的）位于 %3，而不是文件头和调色板结束处（%4）：数据文件与索引文件不一致，无法修改。</translation>
    </message>
    <message>
        <location filename="../../library/mywil.cpp" line="601"/>
        <source>No library is open.</source>
        <translation>没有打开数据文件。</translation>
    </message>
    <message>
        <location filename="../../library/mywil.cpp" line="605"/>
        <source>%1 is open for reading only: it cannot be changed.</source>
        <translation>%1 以只读方式打开：无法修改。</translation>
    </message>
    <message>
        <location filename="../../library/mywil.cpp" line="609"/>
        <source>%1: libraries of run-length records cannot be changed.</source>
        <translation>%1：无法修改行程编码记录的数据文件。</translation>
    </message>
    <message>
        <location filename="../../library/mywil.cpp" line="1075"/>
        <source>The picture is too large for a library record (%1 x %2).</source>
        <translation>图片太大，一条记录放不下（%1 x %2）。</translation>
    </message>
    <message>
        <location filename="../../library/mywil.cpp" line="1097"/>
        <location filename="../../library/mywil.cpp" line="1161"/>
        <source>Too little memory for the picture.</source>
        <translation>内存不足，无法容纳这张图片。</translation>
    </message>
    <message>
        <location filename="../../library/mywil.cpp" line="1139"/>
        <location filename="../../library/mywil.cpp" line="1190"/>
        <source>Image %1 is not in the library (it holds %2).</source>
        <translation>数据文件中没有图片 %1（它共有 %2 张）。</translation>
    </message>
    <message>
        <location filename="../../library/mywil.cpp" line="1156"/>
        <source>%1 cannot be read.</source>
        <translation>无法读取 %1。</translation>
    </message>
    <message>
        <location filename="../../library/mywil.cpp" line="1201"/>
        <source>The record of image %1 lies outside the library file.</source>
        <translation>图片 %1 的记录位于数据文件之外。</translation>
    </message>
    <message>
        <location filename="../../library/mywil.cpp" line="1223"/>
        <source> (the old value could not be put back: the next Open does)</source>
        <translation>（无法恢复原值：下次打开时会恢复）</translation>
    </message>
</context>
<context>
    <name>addone</name>
    <message>
        <location filename="../../editing/addone.cpp" line="22"/>
        <source>no library is open</source>
        <translation>没有打开数据文件</translation>
    </message>
    <message>
        <location filename="../../editing/addone.cpp" line="28"/>
        <source>%1 is read-only</source>
        <translation>%1 是只读的</translation>
    </message>
    <message>
        <location filename="../../editing/addone.cpp" line="59"/>
        <source>a picture of %1 x %2 is too large for a record</source>
        <translation>%1 x %2 的图片太大，一条记录放不下</translation>
    </message>
</context>
<context>
    <name>addpic</name>
    <message>
        <location filename="../../editing/addpic.cpp" line="73"/>
        <source>%1: no such folder</source>
        <translation>%1：文件夹不存在</translation>
    </message>
    <message>
        <location filename="../../editing/addpic.cpp" line="88"/>
        <source>%1: cannot be opened again</source>
        <translation>%1：无法重新打开</translation>
    </message>
    <message>
        <location filename="../../editing/addpic.cpp" line="140"/>
        <source>%1: a picture of %2 x %3 pixels does not fit a record</source>
        <translation>%1：%2 x %3 像素的图片放不进一条记录</translation>
    </message>
    <message>
        <location filename="../../editing/addpic.cpp" line="230"/>
        <source>%1: no such file</source>
        <translation>%1：文件不存在</translation>
    </message>
    <message>
        <location filename="../../editing/addpic.cpp" line="242"/>
        <source>too many images</source>
        <translation>图片太多</translation>
    </message>
    <message>
        <location filename="../../editing/addpic.cpp" line="270"/>
        <source>%1 (the files could not all be put back as they were: the next Open undoes the edit)</source>
        <translation>%1（文件未能全部恢复原样：下次打开时会撤销这次编辑）</translation>
    </message>
    <message>
        <location filename="../../editing/addpic.cpp" line="292"/>
        <source>%1: the library would grow beyond 2 GB</source>
        <translation>%1：数据文件将超过 2 GB</translation>
    </message>
    <message>
        <location filename="../../editing/addpic.cpp" line="369"/>
        <source>image %1 out of range</source>
        <translation>图片 %1 超出范围</translation>
    </message>
    <message>
        <location filename="../../editing/addpic.cpp" line="382"/>
        <source>images %1-%2 out of range</source>
        <translation>图片 %1-%2 超出范围</translation>
    </message>
    <message>
        <location filename="../../editing/addpic.cpp" line="420"/>
        <source>image %1 cannot be replaced</source>
        <translation>无法替换图片 %1</translation>
    </message>
    <message>
        <location filename="../../editing/addpic.cpp" line="469"/>
        <source>Image %1 is not in the library (it holds %2).</source>
        <translation>数据文件中没有图片 %1（它共有 %2 张）。</translation>
    </message>
    <message>
        <location filename="../../editing/addpic.cpp" line="477"/>
        <source>The record of image %1 lies outside the library file.</source>
        <translation>图片 %1 的记录位于数据文件之外。</translation>
    </message>
    <message>
        <location filename="../../editing/addpic.cpp" line="515"/>
        <source> (the old placements could not all be put back: the next Open does)</source>
        <translation>（原坐标未能全部恢复：下次打开时会恢复）</translation>
    </message>
</context>
<context>
    <name>del</name>
    <message>
        <location filename="../../editing/del.cpp" line="39"/>
        <source>%1: cannot be read</source>
        <translation>%1：无法读取</translation>
    </message>
    <message>
        <location filename="../../editing/del.cpp" line="87"/>
        <location filename="../../editing/del.cpp" line="209"/>
        <source>no library is open</source>
        <translation>没有打开数据文件</translation>
    </message>
    <message>
        <location filename="../../editing/del.cpp" line="93"/>
        <source>%1 is read-only</source>
        <translation>%1 是只读的</translation>
    </message>
    <message>
        <location filename="../../editing/del.cpp" line="104"/>
        <location filename="../../editing/del.cpp" line="215"/>
        <source>images %1 to %2 are not in the library</source>
        <translation>数据文件中没有图片 %1 到 %2</translation>
    </message>
    <message>
        <location filename="../../editing/del.cpp" line="116"/>
        <source>%1: the index does not match the library (images %2 to %3 lie outside it)</source>
        <translation>%1：索引文件与数据文件不符（图片 %2 到 %3 在数据文件之外）</translation>
    </message>
    <message>
        <location filename="../../editing/del.cpp" line="134"/>
        <source>%1: the record of image %2 lies among the records to be removed</source>
        <translation>%1：图片 %2 的记录位于要删除的记录之间</translation>
    </message>
    <message>
        <location filename="../../editing/del.cpp" line="148"/>
        <source>%1: too short</source>
        <translation>%1：文件太短</translation>
    </message>
    <message>
        <location filename="../../editing/del.cpp" line="201"/>
        <location filename="../../editing/del.cpp" line="251"/>
        <source>%1: cannot be reopened</source>
        <translation>%1：无法重新打开</translation>
    </message>
    <message>
        <location filename="../../editing/del.cpp" line="236"/>
        <source>image %1 cannot be blanked</source>
        <translation>无法清空图片 %1</translation>
    </message>
</context>
<context>
    <name>fileio</name>
    <message>
        <location filename="../../library/fileio.cpp" line="72"/>
        <source>the disk is full</source>
        <translation>磁盘已满</translation>
    </message>
    <message>
        <location filename="../../library/fileio.cpp" line="159"/>
        <source>%1: cannot be written to the disk (%2)</source>
        <translation>%1：无法写入磁盘（%2）</translation>
    </message>
    <message>
        <location filename="../../library/fileio.cpp" line="186"/>
        <source>%1: cannot be replaced</source>
        <translation>%1：无法替换</translation>
    </message>
    <message>
        <location filename="../../library/fileio.cpp" line="188"/>
        <source>%1: cannot be replaced (%2)</source>
        <translation>%1：无法替换（%2）</translation>
    </message>
    <message>
        <location filename="../../library/fileio.cpp" line="217"/>
        <source>%1: the folder cannot be opened</source>
        <translation>%1：无法打开文件夹</translation>
    </message>
    <message>
        <location filename="../../library/fileio.cpp" line="243"/>
        <location filename="../../library/fileio.cpp" line="259"/>
        <source>does not exist</source>
        <translation>不存在</translation>
    </message>
    <message>
        <location filename="../../library/fileio.cpp" line="245"/>
        <location filename="../../library/fileio.cpp" line="265"/>
        <location filename="../../library/fileio.cpp" line="481"/>
        <location filename="../../library/fileio.cpp" line="595"/>
        <source>is a directory</source>
        <translation>是文件夹</translation>
    </message>
    <message>
        <location filename="../../library/fileio.cpp" line="247"/>
        <location filename="../../library/fileio.cpp" line="267"/>
        <location filename="../../library/fileio.cpp" line="487"/>
        <location filename="../../library/fileio.cpp" line="596"/>
        <source>is not a regular file</source>
        <translation>不是普通文件</translation>
    </message>
    <message>
        <location filename="../../library/fileio.cpp" line="254"/>
        <source>is a loop of links</source>
        <translation>是循环的链接</translation>
    </message>
    <message>
        <location filename="../../library/fileio.cpp" line="258"/>
        <source>is a link to a missing file</source>
        <translation>是指向不存在文件的链接</translation>
    </message>
    <message>
        <location filename="../../library/fileio.cpp" line="261"/>
        <source>cannot be reached (%1)</source>
        <translation>无法访问（%1）</translation>
    </message>
    <message>
        <location filename="../../library/fileio.cpp" line="291"/>
        <source>%1 is not a regular file</source>
        <translation>%1 不是普通文件</translation>
    </message>
    <message>
        <location filename="../../library/fileio.cpp" line="303"/>
        <source>it is not a folder</source>
        <translation>它不是文件夹</translation>
    </message>
    <message>
        <location filename="../../library/fileio.cpp" line="305"/>
        <source>it is read-only</source>
        <translation>它是只读的</translation>
    </message>
    <message>
        <location filename="../../library/fileio.cpp" line="317"/>
        <source>the reason is unknown</source>
        <translation>原因不明</translation>
    </message>
    <message>
        <location filename="../../library/fileio.cpp" line="319"/>
        <source>No new file can be made in the folder %1 (%2); nothing was changed.</source>
        <translation>无法在文件夹 %1 中建立新文件（%2）；没有任何改动。</translation>
    </message>
    <message>
        <location filename="../../library/fileio.cpp" line="345"/>
        <source>%1 is a directory</source>
        <translation>%1 是文件夹</translation>
    </message>
    <message>
        <location filename="../../library/fileio.cpp" line="358"/>
        <source>%1: no file can be made in %2 (%3)</source>
        <translation>%1：无法在 %2 中建立文件（%3）</translation>
    </message>
    <message>
        <location filename="../../library/fileio.cpp" line="419"/>
        <source>The disk is full: the edit needs %1 of free space in %2, and only %3 are free.</source>
        <translation>磁盘已满：这次编辑需要 %2 中有 %1 的可用空间，而只有 %3 可用。</translation>
    </message>
    <message>
        <location filename="../../library/fileio.cpp" line="433"/>
        <source> Nothing was changed.</source>
        <translation>没有任何改动。</translation>
    </message>
    <message>
        <location filename="../../library/fileio.cpp" line="443"/>
        <source> (the edit needs %1 of free space in %2)</source>
        <translation>（这次编辑需要 %2 中有 %1 的可用空间）</translation>
    </message>
    <message>
        <location filename="../../library/fileio.cpp" line="483"/>
        <source>is a symbolic link</source>
        <translation>是符号链接</translation>
    </message>
    <message>
        <location filename="../../library/fileio.cpp" line="513"/>
        <location filename="../../library/fileio.cpp" line="530"/>
        <source>already exists</source>
        <translation>已经存在</translation>
    </message>
    <message>
        <location filename="../../library/fileio.cpp" line="532"/>
        <source>%1 cannot be made: %2</source>
        <translation>无法建立 %1：%2</translation>
    </message>
    <message>
        <location filename="../../library/fileio.cpp" line="550"/>
        <source>%1 was replaced while it was made</source>
        <translation>%1 在建立过程中被替换了</translation>
    </message>
    <message>
        <location filename="../../library/fileio.cpp" line="583"/>
        <source>%1 is a symbolic link</source>
        <translation>%1 是符号链接</translation>
    </message>
</context>
<context>
    <name>new</name>
    <message>
        <location filename="../../editing/new.cpp" line="118"/>
        <source>%1: a library cannot have its index&apos;s name</source>
        <translation>%1：数据文件不能与它的索引文件同名</translation>
    </message>
    <message>
        <location filename="../../editing/new.cpp" line="122"/>
        <source>%1: no such folder</source>
        <translation>%1：文件夹不存在</translation>
    </message>
    <message>
        <location filename="../../editing/new.cpp" line="160"/>
        <source>%1: cannot be opened</source>
        <translation>%1：无法打开</translation>
    </message>
</context>
<context>
    <name>outpic</name>
    <message>
        <location filename="../../editing/outpic.cpp" line="94"/>
        <source>%1: fewer than two lines</source>
        <translation>%1：不足两行</translation>
    </message>
    <message>
        <location filename="../../editing/outpic.cpp" line="150"/>
        <location filename="../../editing/outpic.cpp" line="296"/>
        <source>%1: no such folder</source>
        <translation>%1：文件夹不存在</translation>
    </message>
    <message>
        <location filename="../../editing/outpic.cpp" line="232"/>
        <source>%1 is a link: the placement files are not written through it</source>
        <translation>%1 是链接：坐标文件不会经由它写入</translation>
    </message>
    <message>
        <location filename="../../editing/outpic.cpp" line="236"/>
        <source>%1 is not a folder</source>
        <translation>%1 不是文件夹</translation>
    </message>
    <message>
        <location filename="../../editing/outpic.cpp" line="247"/>
        <source>%1%2: cannot be created (%3)</source>
        <translation>%1%2：无法建立（%3）</translation>
    </message>
</context>
<context>
    <name>pairswap</name>
    <message>
        <location filename="../../library/pairswap.cpp" line="275"/>
        <source>%1, not a replacement marker; the library cannot be changed while it is there.</source>
        <translation>%1，不是替换标记；它存在时无法修改数据文件。</translation>
    </message>
    <message>
        <location filename="../../library/pairswap.cpp" line="312"/>
        <source>%1 does not belong to the library and index now in place, and it cannot be moved aside: %2</source>
        <translation>%1 不属于现在的数据文件和索引文件，而且无法移到一旁：%2</translation>
    </message>
    <message>
        <location filename="../../library/pairswap.cpp" line="320"/>
        <source>%1 was left by a replacement of %2 that was cut short, but the files now in place are not those it was made for (a backup or another library copied over them). Nothing was moved back: the marker was moved aside to %3, and the scratch folder %4 it names is kept, as it may hold the only copy of the old library. The library was not changed.</source>
        <translation>%1 是 %2 的一次中断的替换留下的，但现在的文件已不是它所针对的文件（被备份或另一个数据文件覆盖）。没有移回任何文件：替换标记已移到 %3，它所指的临时文件夹 %4 予以保留，因为其中可能有旧数据文件仅存的副本。数据文件没有改动。</translation>
    </message>
    <message>
        <location filename="../../library/pairswap.cpp" line="335"/>
        <source>%1: an interrupted replacement of the library could not be undone (%2); the old library is kept in %3</source>
        <translation>%1：数据文件的一次中断的替换未能撤销（%2）；旧数据文件保存在 %3</translation>
    </message>
    <message>
        <location filename="../../library/pairswap.cpp" line="423"/>
        <source>%1: the new files must be made in a scratch folder beside it</source>
        <translation>%1：新文件必须建立在它旁边的临时文件夹中</translation>
    </message>
    <message>
        <location filename="../../library/pairswap.cpp" line="452"/>
        <source>%1 cannot be read.</source>
        <translation>无法读取 %1。</translation>
    </message>
    <message>
        <location filename="../../library/pairswap.cpp" line="467"/>
        <source>; it is not a replacement marker of this program, remove it to change the library</source>
        <translation>；它不是本程序的替换标记，删除它后才能修改数据文件</translation>
    </message>
    <message>
        <location filename="../../library/pairswap.cpp" line="486"/>
        <source>; %1. Opening the library again puts it back.</source>
        <translation>；%1。重新打开数据文件会把它恢复。</translation>
    </message>
</context>
<context>
    <name>pictureloader</name>
    <message>
        <location filename="../../editing/pictureloader.cpp" line="126"/>
        <source>%1: the picture is %2 x %3 pixels, beyond the limit of %4 x %4</source>
        <translation>%1：图片为 %2 x %3 像素，超出了 %4 x %4 的上限</translation>
    </message>
    <message>
        <location filename="../../editing/pictureloader.cpp" line="141"/>
        <source>%1: no such file</source>
        <translation>%1：文件不存在</translation>
    </message>
    <message>
        <location filename="../../editing/pictureloader.cpp" line="161"/>
        <source>%1 is damaged: its header claims %2 x %3 pixels, and the file holds %4 of the %5 bytes they need</source>
        <translation>%1 已损坏：文件头声称 %2 x %3 像素，而文件只有所需 %5 字节中的 %4 字节</translation>
    </message>
    <message>
        <location filename="../../editing/pictureloader.cpp" line="186"/>
        <source>%1 is damaged or not a picture: %2</source>
        <translation>%1 已损坏或不是图片：%2</translation>
    </message>
</context>
<context>
    <name>recordsplice</name>
    <message>
        <location filename="../../library/recordsplice.cpp" line="65"/>
        <source>%1 (the files could not all be put back as they were: the next Open undoes the edit)</source>
        <translation>%1（文件未能全部恢复原样：下次打开时会撤销这次编辑）</translation>
    </message>
    <message>
        <location filename="../../library/recordsplice.cpp" line="88"/>
        <source>Images %1 to %2 are not in the library (it holds %3).</source>
        <translation>数据文件中没有图片 %1 到 %2（它共有 %3 张）。</translation>
    </message>
    <message>
        <location filename="../../library/recordsplice.cpp" line="96"/>
        <source>A record without bytes cannot be written.</source>
        <translation>无法写入没有字节的记录。</translation>
    </message>
    <message>
        <location filename="../../library/recordsplice.cpp" line="116"/>
        <source>Image %1 shares bytes with the images being replaced.</source>
        <translation>图片 %1 与要替换的图片共用字节。</translation>
    </message>
    <message>
        <location filename="../../library/recordsplice.cpp" line="124"/>
        <source>The record of image %1 lies outside the library file.</source>
        <translation>图片 %1 的记录位于数据文件之外。</translation>
    </message>
    <message>
        <location filename="../../library/recordsplice.cpp" line="134"/>
        <source>The library would grow beyond 2 GB, which its index cannot address.</source>
        <translation>数据文件将超过 2 GB，索引文件无法指向那么远。</translation>
    </message>
    <message>
        <location filename="../../library/recordsplice.cpp" line="157"/>
        <source>The index file %1 is missing.</source>
        <translation>缺少索引文件 %1。</translation>
    </message>
    <message>
        <location filename="../../library/recordsplice.cpp" line="194"/>
        <source>The index file %1 is shorter than its header.</source>
        <translation>索引文件 %1 比它的文件头还短。</translation>
    </message>
    <message>
        <location filename="../../library/recordsplice.cpp" line="200"/>
        <location filename="../../library/recordsplice.cpp" line="288"/>
        <source>%1 cannot be read.</source>
        <translation>无法读取 %1。</translation>
    </message>
</context>
</TS>
