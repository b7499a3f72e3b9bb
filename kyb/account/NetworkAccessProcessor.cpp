#include "account/NetworkAccessProcessor.h"

NetworkAccessProcessor::NetworkAccessProcessor(QObject* parent) : QObject(parent)
{
}
