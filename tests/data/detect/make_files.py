#!/usr/bin/env python3
"""Writes the labelled files of the detection test: tests/data/detect/<expected>/<name>.txt.

<expected> is what detection must say: an encoding (utf-8, utf-16le, utf-16be, gb18030, big5), or
unsupported-<what it most likely is> for a file that must be refused. The texts are our own. Run it
again after changing a text; the files are kept in the repository so that the test needs no Python.
"""
import os
import shutil
import subprocess

HERE = os.path.dirname(os.path.abspath(__file__))

SIMPLIFIED = (
    "第一章　山里的早晨\n"
    "天刚蒙蒙亮，村口的老槐树下已经坐着几个老人。他们一边抽着旱烟，一边说着今年的雨水。\n"
    "“今年的麦子怕是要晚熟了。”王大爷叹了口气，把烟袋在鞋底上磕了磕。\n"
    "李婶提着一篮青菜从小路上走来，笑着说：“晚熟也好，多长几天，麦粒才饱满。”\n"
    "孩子们背着书包跑过石桥，桥下的溪水哗哗地流着，好像也在赶路。\n"
    "太阳慢慢爬上山头，雾气一点一点散开，远处的梯田露出了一层又一层的绿色。\n"
)
TRADITIONAL = (
    "第一章　山裡的早晨\n"
    "天剛濛濛亮，村口的老槐樹下已經坐著幾個老人。他們一邊抽著旱煙，一邊說著今年的雨水。\n"
    "「今年的麥子怕是要晚熟了。」王大爺嘆了口氣，把煙袋在鞋底上磕了磕。\n"
    "李嬸提著一籃青菜從小路上走來，笑著說：「晚熟也好，多長幾天，麥粒才飽滿。」\n"
    "孩子們背著書包跑過石橋，橋下的溪水嘩嘩地流著，好像也在趕路。\n"
    "太陽慢慢爬上山頭，霧氣一點一點散開，遠處的梯田露出了一層又一層的綠色。\n"
)
KOREAN = (
    "제1장 산골의 아침\n"
    "날이 막 밝아 오자 마을 어귀의 느티나무 아래에 노인 몇 분이 앉아 계셨다. 그분들은 담배를 피우며 올해 비가 얼마나 올지 이야기했다.\n"
    "\"올해 보리는 늦게 익겠구먼.\" 김 할아버지가 한숨을 쉬며 담뱃대를 신발 바닥에 톡톡 털었다.\n"
    "이웃집 아주머니가 채소 바구니를 들고 오솔길을 걸어오며 웃었다. \"늦게 익어도 좋지요, 며칠 더 자라면 알이 꽉 차니까요.\"\n"
    "아이들은 책가방을 메고 돌다리를 건너 뛰어갔고, 다리 아래 시냇물도 바쁘게 흘러갔다.\n"
)
JAPANESE = (
    "第一章　山の朝\n"
    "夜が明けたばかりなのに、村の入り口の大きな木の下には、もう何人かのお年寄りが座っていた。\n"
    "「今年の麦は遅れそうだね」と田中さんはため息をつき、キセルを靴の底でとんとんと叩いた。\n"
    "隣のおばさんが野菜のかごを持って小道を歩いてきて、笑いながら言った。「遅くてもいいのよ、そのぶん実がよく太るから」\n"
    "子どもたちはランドセルを背負って石の橋を走って渡り、橋の下では小川がさらさらと流れていた。\n"
)
FRENCH = (
    "Chapitre premier. Le matin dans la montagne\n"
    "À peine le jour s'était-il levé que quelques vieillards étaient déjà assis sous le grand arbre à l'entrée du village.\n"
    "« Cette année, le blé mûrira tard », soupira le père Mathieu en tapotant sa pipe contre la semelle de son soulier.\n"
    "La voisine arriva par le sentier, un panier de légumes à la main, et répondit en souriant : « Tant mieux, les grains seront plus pleins. »\n"
    "Les enfants traversèrent le pont de pierre en courant ; sous le pont, le ruisseau se hâtait lui aussi.\n"
)


def write(expected, name, data):
    folder = os.path.join(HERE, expected)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name + ".txt"), "wb") as f:
        f.write(data)


def iconv(text, encoding):
    return subprocess.run(["iconv", "-f", "UTF-8", "-t", encoding], input=text.encode("utf-8"),
                          capture_output=True, check=True).stdout


def main():
    for entry in os.listdir(HERE):
        if os.path.isdir(os.path.join(HERE, entry)):
            shutil.rmtree(os.path.join(HERE, entry))
    long_simplified = SIMPLIFIED * 4
    long_traditional = TRADITIONAL * 4
    utf8 = long_simplified.encode("utf-8")

    write("utf-8", "simplified", utf8)
    write("utf-8", "traditional-with-mark", b"\xef\xbb\xbf" + long_traditional.encode("utf-8"))
    write("utf-8", "ascii-only", b"Chapter 1\nIt was early morning in the village.\n")
    write("utf-8", "one-stray-byte", utf8[:900] + b"\xff" + utf8[900:])
    write("utf-8", "last-character-cut-off", utf8[:-2])
    write("utf-8", "pasted-gbk-word", utf8[:600] + "村口".encode("gbk") + utf8[600:])
    write("utf-16le", "with-mark", b"\xff\xfe" + long_simplified.encode("utf-16-le"))
    write("utf-16le", "without-mark", long_simplified.encode("utf-16-le"))
    write("utf-16be", "without-mark", long_traditional.encode("utf-16-be"))
    write("gb18030", "simplified", long_simplified.encode("gb18030"))
    write("gb18030", "traditional-in-gbk", long_traditional.replace("「", "“").replace("」", "”").encode("gbk"))
    write("gb18030", "short-heading", "第一章　开端\n".encode("gb18030"))
    write("gb18030", "english-with-a-chinese-word", b"Notes on the village of " + "村口".encode("gbk") + b".\n")
    write("big5", "traditional", long_traditional.encode("big5"))
    write("big5", "traditional-one-paragraph", TRADITIONAL.encode("big5"))

    write("unsupported-utf-32le", "with-mark", long_simplified.encode("utf-32"))  # little-endian, with its mark
    write("unsupported-utf-32be", "with-mark", b"\x00\x00\xfe\xff" + long_simplified.encode("utf-32-be"))
    write("unsupported-utf-32le", "without-mark", long_simplified.encode("utf-32-le"))
    write("unsupported-shift_jis", "japanese", (JAPANESE * 3).encode("shift_jis"))
    write("unsupported-euc-jp", "japanese", (JAPANESE * 3).encode("euc_jp"))
    write("unsupported-euc-kr", "korean", (KOREAN * 3).encode("euc_kr"))
    write("unsupported-euc-tw", "traditional", iconv(long_traditional, "EUC-TW"))
    write("unsupported-hz", "simplified", long_simplified.encode("hz"))
    write("unsupported-single-byte", "french-mac-roman", (FRENCH * 30).encode("mac_roman"))
    write("unsupported-single-byte", "french-windows-1252", (FRENCH * 30).encode("cp1252"))


if __name__ == "__main__":
    main()
