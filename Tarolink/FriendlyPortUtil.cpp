#include "Tarolink/FriendlyPortUtil.h"

#include "Tarolink/SerialPortLocal.h"

namespace Tarolink {

std::mutex FriendlyPortUtil::mutex_;
std::vector<PortDriverInfo> FriendlyPortUtil::cache_;

void FriendlyPortUtil::prepare() {
    auto info = SerialPortLocal::getDriverInfoList();
    setDriverInfo(std::move(info));
}

void FriendlyPortUtil::setDriverInfo(std::vector<PortDriverInfo> info) {
    std::lock_guard lock(mutex_);
    cache_ = std::move(info);
}

void FriendlyPortUtil::clear() {
    setDriverInfo({});
}

std::string FriendlyPortUtil::displayName(const PortDriverInfo& info) {
    return info.getDevName() + ": " + info.getDriverMfgr() + " - " + info.getDriverDesc();
}

std::string FriendlyPortUtil::getFriendlyPortName(const std::string& portName) {
    std::lock_guard lock(mutex_);
    for (const auto& info : cache_)
        if (info.getDevName() == portName)
            return displayName(info);
    return portName;
}

std::string FriendlyPortUtil::getUnfriendlyPortName(const std::string& displayNameText) {
    std::lock_guard lock(mutex_);
    for (const auto& info : cache_)
        if (displayName(info) == displayNameText)
            return info.getDevName();
    return displayNameText;
}

std::vector<std::string> FriendlyPortUtil::getFriendlyPortList() {
    std::lock_guard lock(mutex_);
    std::vector<std::string> names;
    names.reserve(cache_.size());
    for (const auto& info : cache_)
        names.push_back(displayName(info));
    return names;
}

} // namespace Tarolink
