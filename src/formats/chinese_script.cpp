#include "formats/chinese_script.h"

namespace quenlet::formats {
namespace {

// The two halves of common pairs, each character found in its own script only.
constexpr CharSet kTraditionalOnly{u'這', u'說', u'們', u'來', u'個', u'時', u'會', u'對', u'國', u'過', u'還',
    u'見', u'問', u'開', u'門', u'麼', u'沒', u'聽', u'兒', u'頭', u'話', u'點', u'從', u'學', u'將', u'給', u'讓',
    u'長', u'與', u'為', u'東', u'車', u'馬', u'書', u'無', u'發', u'覺', u'邊', u'樣', u'應', u'當', u'現', u'氣',
    u'聲', u'經', u'錢', u'難', u'愛', u'歲', u'歡', u'寫', u'帶', u'爺', u'媽', u'處', u'陳', u'張', u'劉', u'孫',
    u'楊', u'謝', u'請', u'認', u'識', u'讀', u'實', u'轉', u'雖', u'關', u'報', u'軍', u'戰'};
constexpr CharSet kSimplifiedOnly{u'这', u'说', u'们', u'来', u'个', u'时', u'会', u'对', u'国', u'过', u'还',
    u'见', u'问', u'开', u'门', u'么', u'没', u'听', u'儿', u'头', u'话', u'点', u'从', u'学', u'将', u'给', u'让',
    u'长', u'与', u'为', u'东', u'车', u'马', u'书', u'无', u'发', u'觉', u'边', u'样', u'应', u'当', u'现', u'气',
    u'声', u'经', u'钱', u'难', u'爱', u'岁', u'欢', u'写', u'带', u'爷', u'妈', u'处', u'陈', u'张', u'刘', u'孙',
    u'杨', u'谢', u'请', u'认', u'识', u'读', u'实', u'转', u'虽', u'关', u'报', u'军', u'战'};

}  // namespace

void ScriptTally::add(TextView text) {
    if (traditional_ + simplified_ >= kEnough) return;
    for (const char16_t c : text) {
        if (c < 0x4E00) continue;  // below the Han characters
        traditional_ += kTraditionalOnly.contains(c);
        simplified_ += kSimplifiedOnly.contains(c);
    }
}

}  // namespace quenlet::formats
