// Compile-checked names of the window's controls. The names themselves are the window's own
// (a search for "MsgCom" finds them here and in the table of controls); code and tests refer to
// a control through its identifier, ctl::MsgCom, so a misspelt name fails to compile instead of
// aborting at run time. A test holds this list and the table of controls equal.
#pragma once

#include <array>
#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>

namespace velkon {

// A control's name; made only from the list below (or, for names read from data, explicitly).
class ControlName {
  public:
    constexpr ControlName() = default;  // no control: a table row that names none
    constexpr explicit ControlName(std::string_view text) : text_(text) {}
    constexpr std::string_view text() const { return text_; }
    std::string str() const { return std::string(text_); }
    friend constexpr bool operator==(ControlName a, ControlName b) { return a.text_ == b.text_; }
    friend bool operator==(const std::string& s, ControlName n) { return s == n.text_; }
    friend constexpr bool operator<(ControlName a, ControlName b) { return a.text_ < b.text_; }
    friend std::ostream& operator<<(std::ostream& os, ControlName n) { return os << n.text_; }

  private:
    std::string_view text_{};
};

// clang-format off
#define VELKON_CONTROLS(X) \
    X(Frame2) X(CmbPort) X(BTNOpenCom) X(BTNCloseCom) X(Chg_pass) X(Vvod_PWD) X(Label31) X(sern) \
    X(Label32) X(vPo) X(Pic) X(MsgCom) X(changed_mark) X(SSTab1) X(Timer1) X(TMRComm) \
    X(ProgressBar1) X(Frame5) X(ur) X(uroven) X(te) X(temp) X(tek_l) X(tek) X(Frame4) X(h) X(hi) \
    X(l) X(lo) X(n) X(ne) X(ko) X(k) X(Frame15) X(usredn) X(usred) X(D_4096) X(Label6) \
    X(Set_mode) X(Frame3) X(net) X(hig) X(low) X(bp_off) X(bp_on) X(gorizont) X(CmbNet) \
    X(tarirovka) X(Frame14) X(Label39) X(sputn) X(Label41) X(ns) X(Label40) X(gsm) X(traff1) \
    X(traf) X(Label35) X(ain3) X(Frame13) X(Label28) X(Label29) X(Label46) X(Check1) X(ad1) \
    X(Label20) X(lls1) X(Check2) X(ad2) X(Label21) X(lls2) X(Check3) X(ad3) X(Label22) X(lls3) \
    X(Check4) X(ad4) X(Label23) X(lls4) X(Check5) X(ad5) X(Label24) X(lls5) X(Check6) X(ad6) \
    X(Label25) X(lls6) X(Check7) X(ad7) X(Label26) X(lls7) X(Check8) X(ad8) X(Label27) X(lls8) \
    X(Label13) X(time_otpr) X(Command3) X(Frame9) X(Label7) X(apn) X(Label8) X(gsm_user) \
    X(Label9) X(gdm_pwd) X(Label12) X(pincod) X(Frame10) X(Label10) X(ip_serv) X(l4) \
    X(port_serv) X(Label30) X(id_dev) X(Label11) X(pwd_serv) X(EGTS_prot) X(Label42) X(Label43) \
    X(nsim) X(lable44) X(imei) X(readdata) X(setdata) X(rd_imei) X(save_prof) X(load_prof) \
    X(Opros) X(Label3) X(netdev) X(Label4) X(Frame1) X(Label1) X(txtRec) X(strText) X(text_GSM) \
    X(gen_txt) X(Frame8) X(Frame6) X(sdv_verh) X(sdv_hi) X(gen_up) X(Frame7) X(sdv_niz) \
    X(sdv_low) X(gen_down) X(modes) X(R485) X(R_485) X(R_a) X(R_analog) X(R_f) X(R_fr) X(R_p) \
    X(цццц) X(R_p485) X(Label2) X(iinv) X(invers) X(Frame11) X(r11) X(Label14) X(r12) X(Label15) \
    X(r13) X(Label16) X(Frame12) X(r21) X(Label17) X(r22) X(Label18) X(r23) X(Label19) \
    X(Label33) X(in1) X(Label34) X(in2) X(Label37) X(ain1) X(ain2) X(Label38) X(fin1) X(fin2) \
    X(Label36) X(sn) X(Label5) X(vv) X(ver2) X(InstSN) X(next_ser_num) X(sl3) X(bp1) X(Set_BP) \
    X(Command1) X(Command2) X(gsmlog) X(ZapFile) X(Faail) X(cfg_file)
// clang-format on

namespace ctl {
#define VELKON_DECLARE_CONTROL(n) inline constexpr ControlName n{#n};
VELKON_CONTROLS(VELKON_DECLARE_CONTROL)
#undef VELKON_DECLARE_CONTROL

#define VELKON_LIST_CONTROL(n) n,
inline constexpr ControlName all[] = {VELKON_CONTROLS(VELKON_LIST_CONTROL)};
#undef VELKON_LIST_CONTROL

// The eight RS-485 channels' rows: enabled, address, level.
inline constexpr std::array<ControlName, 8> channel_check{Check1, Check2, Check3, Check4,
                                                          Check5, Check6, Check7, Check8};
inline constexpr std::array<ControlName, 8> channel_address{ad1, ad2, ad3, ad4, ad5, ad6, ad7, ad8};
inline constexpr std::array<ControlName, 8> channel_level{lls1, lls2, lls3, lls4,
                                                          lls5, lls6, lls7, lls8};
}  // namespace ctl

}  // namespace velkon
