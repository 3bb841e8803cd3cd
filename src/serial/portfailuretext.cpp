#include "serial/portfailuretext.h"

QString portFailureDescription(const PortFailure &failure)
{
    switch (failure.error) {
    case PortError::None:
        break;
    case PortError::NoSuchPort:
        return QStringLiteral("无效的端口号");
    case PortError::PortInUse:
        return QStringLiteral("端口已打开");
    case PortError::AccessDenied:
        return QStringLiteral("没有权限打开") + failure.detail
               + QStringLiteral("(用户需加入dialout组并重新登录)");
    case PortError::OpenFailed:
        return QStringLiteral("无法打开端口设备") + failure.detail;
    case PortError::DeviceGone:
        return QStringLiteral("端口设备已断开");
    case PortError::WriteFailed:
        return QStringLiteral("端口写入失败");
    case PortError::InvalidSettings:
        return QStringLiteral("无效的通信参数设置: ") + failure.detail;
    case PortError::UnsupportedSettings:
        return QStringLiteral("端口不支持通信参数") + failure.detail;
    case PortError::PortClosed:
        return QStringLiteral("端口未打开");
    }
    return {};
}
