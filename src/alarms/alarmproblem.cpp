#include "alarms/alarmproblem.h"

#include "i18n/translations.h"

QString AlarmProblem::reason(int language) const
{
    auto tr = [language](const char *chinese, const char *english) {
        return translateOr(language, QString::fromUtf8(chinese), QString::fromUtf8(english));
    };
    switch (kind) {
    case Kind::Unreadable:
        return tr("无法读取文件: %1", "Cannot read the file: %1").arg(detail);
    case Kind::NotJson:
        return tr("文件不是有效的 JSON: %1", "The file is not valid JSON: %1").arg(detail);
    case Kind::NotAnArray:
        return tr("报警规则必须是数组", "Alarm rules must be an array");
    case Kind::NotAnObject:
        return tr("规则不是对象", "The rule is not an object");
    case Kind::MissingName:
        return tr("缺少名称", "Name missing");
    case Kind::DuplicateName:
        return tr("名称重复", "Duplicate name");
    case Kind::UnknownField:
        return tr("未知字段: %1", "Unknown field: %1").arg(detail);
    case Kind::WrongType:
        return tr("%1 类型错误", "%1 has the wrong type").arg(detail);
    case Kind::NotANumber:
        return tr("%1 必须是数字", "%1 must be a number").arg(detail);
    case Kind::MissingValue:
        return tr("缺少数值名", "Value missing");
    case Kind::UnknownValue:
        return tr("未知数值: %1", "Unknown value: %1").arg(detail);
    case Kind::TextValue:
        return tr("数值不是数字: %1", "Not a numeric value: %1").arg(detail);
    case Kind::NoCells:
        return tr("本协议没有电芯电压", "This protocol has no cell voltages");
    case Kind::NoLimit:
        return tr("至少需要上限或下限", "A high or low limit is needed");
    case Kind::LowAboveHigh:
        return tr("下限高于上限", "Low limit above high limit");
    case Kind::NegativeHysteresis:
        return tr("回差不能为负", "Hysteresis must not be negative");
    case Kind::NegativeDelay:
        return tr("延时不能为负", "Delay must not be negative");
    case Kind::BothDelays:
        return tr("延时只能按秒或按帧之一", "Give the delay in seconds or in frames, not both");
    case Kind::FractionalFrames:
        return tr("帧延时必须是整数", "Frame delay must be a whole number");
    case Kind::UnknownSeverity:
        return tr("未知级别: %1", "Unknown severity: %1").arg(detail);
    }
    return QString();
}

QString AlarmProblem::text(int language) const
{
    if (isFileProblem())
        return reason(language);
    return translateOr(language, QStringLiteral("规则 %1: %2"), QStringLiteral("Rule %1: %2"))
            .arg(rule, reason(language));
}
