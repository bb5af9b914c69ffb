Valdora - Kuzey Kalesi|tr-1|normal|127.0.0.1|7001
Valdora - Güney Ovaları|tr-2|normal|127.0.0.1|7002
Ejderha Dağı (PvP)|tr-3|pvp|127.0.0.1|7003
